// A small driver of kesto's console services for the terminal tests: each
// argument is one call, "p" ask_confirm with the delete prompt, "w" a break
// check that waits for a key. After each call it writes the result and the
// prompt state, "[result confirm skip]", on standard error.
#include <cstring>

#include "kesto/console.h"
#include "kesto/options.h"
#include "platform/console.h"
#include "platform/output.h"

int main(int argc, char** argv) {
    plat::console_init();
    for (int i = 1; i < argc; ++i) {
        int result = std::strcmp(argv[i], "p") == 0 ? kesto::ask_confirm(kesto::PROMPT_DELETE)
                                                    : kesto::check_user_break(nullptr, true);
        plat::std_err().printf("[%d %d %d]\n", result, kesto::state.options.confirm_each ? 1 : 0,
                               kesto::state.skip_all ? 1 : 0);
        plat::std_err().flush();
    }
    plat::std_out().flush();
    return 0;
}
