// The Qt backend's tests run in one QApplication, on the offscreen platform
// unless another one is asked for.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform says for every window that it cannot raise it,
// shape it or make it see-through; the tests check what the widgets hold.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (message.startsWith(QStringLiteral("QStandardPaths:"))) return;
    if (standardHandler) standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    standardHandler = qInstallMessageHandler(QuietOffscreenNotes);
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
