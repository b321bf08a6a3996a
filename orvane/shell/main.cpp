// The cabinet builder orvane: started by the launcher with its token and two
// directives, it packs the files the list directive names into cabinets and
// ends by itself with exit code 0 (1 only when a directive is missing).
#include "vcabcode.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Taken before Qt looks at the command line.
    std::vector<std::string> args(argv, argv + argc);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(AppTitle));
    // The window's timer ends the program once the worker has finished.
    QApplication::setQuitOnLastWindowClosed(false);

    TShellState state;
    TCabEncode window(args, state);
    window.show();
    return app.exec();
}
