// No code: the module carries the fixture library.
