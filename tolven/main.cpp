#include "platform/process.h"
#include "tolven/tolven.h"

int main(int argc, char** argv) {
    const int exit_code = plat::take_standard_options(argc, argv, "tolven", plat::HelpAs::option);
    return exit_code >= 0 ? exit_code : tolven::tolven_main(argc, argv);
}
