// kesto's console services: messages in reversed colours, the break check
// between entries and blocks (ESC, Ctrl+C, Ctrl+S/Ctrl+Q), the Y/N/A/X
// prompt and the discord beep. Their state lives in kesto::state.
#pragma once
#include "platform/message.h"

namespace kesto {

// Prompts of ask_confirm.
extern const plat::Message PROMPT_UPDATE;
extern const plat::Message PROMPT_CREATE;
extern const plat::Message PROMPT_DELETE;
extern const plat::Message PROMPT_EXECUTE;

// Prints a message in reversed colours on a standard stream (1 or 2).
void print_reversed(int stream, plat::Message message, ...);

// Polls the keyboard (or waits for a key when wait is set) and acts on the
// key: ESC prints the abort message, sets state.aborted and returns 1;
// Ctrl+C switches confirmation back on (confirm_each, no skip_all). The key
// read is stored in *key when key is given; without it, Ctrl+S holds the
// program until Ctrl+Q, ESC or Ctrl+C. Once aborted, every call returns 1
// (and ESC as the key). 0: go on. Without a keyboard nothing is waiting and
// a wait returns 0 at once.
int check_user_break(int* key, bool wait);

// Asks the prompt on standard error and waits for Y, N, A or X (either
// case): 1 yes (A: and no more prompts), 0 skip (X: and skip every later
// prompt silently), -1 abort (ESC, or no keyboard to answer with). Other
// keys ring the bell. The answer's letter is echoed; the caller ends the
// line.
int ask_confirm(const plat::Message& prompt);

// Beeps beep_count times, 50 ms apart.
void beep_discord();

}  // namespace kesto
