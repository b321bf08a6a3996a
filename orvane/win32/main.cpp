// The cabinet builder orvane: started by the launcher with its token and two
// directives, it packs the files the list directive names into cabinets and
// ends by itself with exit code 0 (1 only when a directive is missing).
#include "WindowLoop.h"
#include "vcabcode.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    InitControls();

    TShellState state;
    TCabEncode window(args, state);
    window.Show();
    return RunMessageLoop();
}
