// The window tests run in one QApplication on a real display. Listing the tests (as the build
// does to register them) needs no display, so the application is made only to run them.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  // Mesa's drivers are unloaded when the display closes, and what they keep is then reported
  // by the leak checker as coming from nowhere; pinned, it is named and can be told apart.
  for (const char* driver :
       {"libGLX_mesa.so.0", "libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"}) {
    dlopen(driver, RTLD_LAZY | RTLD_NODELETE);
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
