// Where the deliverables' resources are found.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "platform/foundation/Resources.h"

namespace {

using namespace foundation;
namespace fs = std::filesystem;

TEST(Resources, TheModuleFolderIsInstalledOrNamedByTheEnvironment) {
  unsetenv("FERROLITE_SCANNER_RESOURCES");
  fs::path installed = scannerModuleResourceFolder();
  EXPECT_TRUE(installed.is_absolute());
  EXPECT_EQ(installed.filename(), "Resources");
  setenv("FERROLITE_SCANNER_RESOURCES", "/tmp/module/Resources", 1);
  EXPECT_EQ(scannerModuleResourceFolder(), "/tmp/module/Resources");
  setenv("FERROLITE_SCANNER_RESOURCES", "", 1);
  EXPECT_EQ(scannerModuleResourceFolder(), installed);
}

TEST(Resources, TheFolderOfALoadedObject) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  // The test program itself (which the loader names by its start name)...
  auto own = folderOfLoadedObject(reinterpret_cast<const void*>(&scannerModuleResourceFolder));
  ASSERT_TRUE(own);
  EXPECT_EQ(*own, fs::canonical(exe).parent_path());
  // ...and a shared library.
  double (*cosine)(double) = &std::cos;
  auto library = folderOfLoadedObject(reinterpret_cast<const void*>(cosine));
  ASSERT_TRUE(library);
  EXPECT_NE(*library, *own);
  EXPECT_TRUE(fs::exists(*library));

  int onTheStack = 0;
  EXPECT_FALSE(folderOfLoadedObject(&onTheStack));
  EXPECT_EQ(dataSourceResourceFolder("/usr/local/lib/twain/Ferrolite"),
            "/usr/local/lib/twain/Ferrolite/Resources");
}

}  // namespace
