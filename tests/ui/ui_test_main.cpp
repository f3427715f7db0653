// The window tests need an application object for their whole run: the program's own, so that
// errors escaping a handler reach the same error box as in the program.
//
//   quillane_ui_e2e_test --screenshot=<file.png>   the window after a run against the test
//                                                  server, saved as a picture (for docs/)

#include <gtest/gtest.h>

#include <QString>
#include <cstring>

#include "ui/application.h"
#include "ui_test_support.h"

int main(int argc, char** argv) {
    // Test discovery runs the binary where there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    quillane::ui::Application app(argc, argv);
#ifdef QUILLANE_UI_SCREENSHOT
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--screenshot=", 13) == 0) {
            return uitest::ScreenshotAfterARun(QString::fromLocal8Bit(argv[i] + 13));
        }
    }
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
