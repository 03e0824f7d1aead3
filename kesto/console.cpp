#include "kesto/console.h"

#include <cstdarg>

#include "kesto/options.h"
#include "platform/console.h"
#include "platform/output.h"
#include "platform/text.h"
#include "platform/time.h"

namespace kesto {

using plat::Message;

const Message PROMPT_UPDATE = {" <Update:Y, Skip:N, All:A, Skip All:X>? ", " <更新:Y, 次:N, 全部:A, 全部無視:X>? "};
const Message PROMPT_CREATE = {" <Create:Y, Skip:N, All:A, Skip All:X>? ", " <作成:Y, 次:N, 全部:A, 全部無視:X>? "};
const Message PROMPT_DELETE = {" <Delete:Y, Skip:N, All:A, Skip All:X>? ", " <削除:Y, 次:N, 全部:A, 全部無視:X>? "};
const Message PROMPT_EXECUTE = {" <Execute:Y, Skip:N, All:A, Skip All:X>? ", " <実行:Y, 次:N, 全部:A, 全部無視:X>? "};

namespace {

const Message MSG_ABORT = {"\nAbort by user!\n", "\nユーザーにより中止されました!\n"};

constexpr unsigned BEEP_PAUSE_MS = 50;

plat::Output& stream_output(int stream) { return stream == 2 ? plat::std_err() : plat::std_out(); }

}  // namespace

void print_reversed(int stream, Message message, ...) {
    plat::Output& out = stream_output(stream);
    plat::reverse_colour(stream);
    std::va_list args;
    va_start(args, message);
    out.vprint(message, args);
    va_end(args);
    plat::restore_colour(stream);
    out.flush();
}

int check_user_break(int* key, bool wait) {
    if (state.aborted) {
        if (key) *key = plat::KEY_ESC;
        return 1;
    }
    if (!plat::have_keyboard() || (!wait && !plat::key_waiting())) return 0;
    // What is on the screen must be up to date before the program stops.
    plat::std_out().flush();
    plat::std_err().flush();
    bool held = false;
    for (;;) {
        int code = plat::read_key();
        if (key) *key = code;
        if (code == plat::KEY_NONE) return 0;
        if (code == plat::KEY_ESC) {
            print_reversed(1, MSG_ABORT);
            state.aborted = true;
            return 1;
        }
        if (code == plat::KEY_CTRL_C) {
            state.options.confirm_each = true;
            state.skip_all = false;
            return 0;
        }
        if (key) return 0;
        if (code == plat::KEY_CTRL_S) {
            held = true;
        } else if (!held || code == plat::KEY_CTRL_Q) {
            return 0;
        }
    }
}

int ask_confirm(const Message& prompt) {
    if (state.skip_all) return 0;
    plat::Output& err = plat::std_err();
    err.print(prompt);
    err.flush();
    for (;;) {
        int key = plat::KEY_NONE;
        if (check_user_break(&key, true)) return -1;
        if (key == plat::KEY_NONE) {
            // No keyboard to answer with: an abort, which changes nothing.
            print_reversed(1, MSG_ABORT);
            state.aborted = true;
            return -1;
        }
        int result = -1;
        switch (key < 0x80 ? plat::ascii_upper(static_cast<char>(key)) : key) {
        case 'Y': result = 1; break;
        case 'A':
            state.options.confirm_each = false;
            result = 1;
            break;
        case 'N': result = 0; break;
        case 'X':
            state.skip_all = true;
            result = 0;
            break;
        case 0: continue;
        default:  // Ctrl+C too, after it switched the prompts back on
            err.text("\a");
            err.flush();
            continue;
        }
        err.printf("%c", static_cast<char>(key));
        err.flush();
        return result;
    }
}

void beep_discord() {
    for (std::uint32_t i = 0; i < state.options.beep_count; ++i) {
        plat::beep();
        plat::sleep_ms(BEEP_PAUSE_MS);
    }
}

}  // namespace kesto
