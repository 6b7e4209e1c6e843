// Code-module handles: the search order, symbol look-up, the absent handle
// values, and when the module is released.
#include "pal/shared_objects.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Halvex::Tessaran::PAL::KvRxSharedObjImp;
using Handle = std::unique_ptr<KvRxSharedObjImp>;

// Whether the test module is mapped, without keeping it so.
bool coreMapped() {
  void* h = dlopen(KVPAL_KVCORE, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

TEST(SharedObjects, MissingModulesGiveAnEmptyObject) {
  for (const wchar_t* name : {L"kvnothere.dll", L"", static_cast<const wchar_t*>(nullptr),
                              L"/nonexistent/KvCore.dll", L"kvnothere.exe"}) {
    Handle h(KvRxSharedObjImp::tryLoad(name, true));
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(h->isLoaded());
    EXPECT_EQ(h->getSymbol("malloc"), nullptr);
  }
  Handle null(KvRxSharedObjImp::getNullObject());
  EXPECT_FALSE(null->isLoaded());
  EXPECT_EQ(null->getSymbol("malloc"), nullptr);
}

// The test runs with LD_LIBRARY_PATH on a folder whose libKvCore.so lacks
// thisProgram: the executable's folder must win.
TEST(SharedObjects, ExecutableFolderComesBeforeTheLoaderSearch) {
  ASSERT_FALSE(coreMapped());
  for (const wchar_t* name : {L"KvCore.dll", L"KvCore.DLL", L"KvCore"}) {
    Handle h(KvRxSharedObjImp::tryLoad(name, true));
    ASSERT_TRUE(h->isLoaded()) << name;
    auto* product = static_cast<const char*>(h->getSymbol("thisProduct"));
    ASSERT_NE(product, nullptr);
    EXPECT_STREQ(product, "test product");
    EXPECT_NE(h->getSymbol("thisProgram"), nullptr) << name;
    EXPECT_EQ(h->getSymbol("noSuchSymbol"), nullptr);
    EXPECT_EQ(h->getSymbol(nullptr), nullptr);
  }
  EXPECT_FALSE(coreMapped());
}

TEST(SharedObjects, LoaderSearchFindsWhatTheFolderLacks) {
  Handle h(KvRxSharedObjImp::tryLoad(L"libm.so.6", false));
  ASSERT_TRUE(h->isLoaded());
  EXPECT_NE(h->getSymbol("cos"), nullptr);
  // A folder in the name confines the search to it.
  Handle half(KvRxSharedObjImp::tryLoad(KVPAL_KVCORE_HALF_DIR L"/KvCore.dll", true));
  ASSERT_TRUE(half->isLoaded());
  EXPECT_NE(half->getSymbol("thisProduct"), nullptr);
  EXPECT_EQ(half->getSymbol("thisProgram"), nullptr);
}

TEST(SharedObjects, AbsentHandleValuesFindNoSymbol) {
  // For dlsym these values mean the global scope and the next module.
  Handle none(KvRxSharedObjImp::getFromNative(nullptr));
  EXPECT_FALSE(none->isLoaded());
  EXPECT_EQ(none->getSymbol("malloc"), nullptr);
  Handle allBits(KvRxSharedObjImp::getFromNative(reinterpret_cast<void*>(~std::uintptr_t{0})));
  EXPECT_TRUE(allBits->isLoaded());
  EXPECT_EQ(allBits->getSymbol("malloc"), nullptr);
}

TEST(SharedObjects, OnlyReleasingObjectsCloseTheModule) {
  ASSERT_FALSE(coreMapped());
  void* native = dlopen(KVPAL_KVCORE, RTLD_NOW);
  ASSERT_NE(native, nullptr);
  Handle wrapped(KvRxSharedObjImp::getFromNative(native));
  EXPECT_EQ(wrapped->getSymbol("thisProduct"), dlsym(native, "thisProduct"));
  wrapped.reset();
  EXPECT_TRUE(coreMapped());
  dlclose(native);
  ASSERT_FALSE(coreMapped());

  Handle kept(KvRxSharedObjImp::tryLoad(L"KvCore.dll", false));
  ASSERT_TRUE(kept->isLoaded());
  void* stillThere = kept->getSymbol("thisProduct");
  kept.reset();
  EXPECT_TRUE(coreMapped());
  // Drops the reference the non-releasing object left behind.
  void* h = dlopen(KVPAL_KVCORE, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(dlsym(h, "thisProduct"), stillThere);
  dlclose(h);
  dlclose(h);
  EXPECT_FALSE(coreMapped());
}

TEST(SharedObjects, MoveAssignmentHandsOverTheReference) {
  ASSERT_FALSE(coreMapped());
  Handle first(KvRxSharedObjImp::tryLoad(L"KvCore.dll", true));
  Handle second(KvRxSharedObjImp::getNullObject());
  *second = std::move(*first);
  EXPECT_FALSE(first->isLoaded());
  EXPECT_EQ(first->getSymbol("thisProduct"), nullptr);
  ASSERT_TRUE(second->isLoaded());
  EXPECT_NE(second->getSymbol("thisProduct"), nullptr);
  first.reset();
  EXPECT_TRUE(coreMapped());
  // Assigning over the last reference releases the module.
  Handle empty(KvRxSharedObjImp::getNullObject());
  *second = std::move(*empty);
  EXPECT_FALSE(second->isLoaded());
  EXPECT_FALSE(coreMapped());
}

}  // namespace
