#include "fault.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend.h"

namespace plat::fault {
namespace {

// Calls may come from several threads at once (worker threads reading a
// file): each call takes its own count, so exactly one of them is the nth.
struct Slot {
    std::atomic<unsigned> calls{0};  // calls of this kind since the fault was armed
    unsigned nth = 0;                // 0 = not armed
    int error = 0;
};

Slot slots[static_cast<int>(Call::count_)];
std::string swap_target;  // where the link of an armed swap leads

const char* const call_names[] = {
    "open",   "read",   "write", "seek",  "close",   "settimes", "setattr",
    "rename", "remove", "mkdir", "alloc", "version", "sync",     "swap",
};
static_assert(sizeof call_names / sizeof call_names[0] == static_cast<int>(Call::count_));

bool parse_one(const std::string& item) {
    std::size_t c1 = item.find(':');
    std::size_t c2 = c1 == std::string::npos ? c1 : item.find(':', c1 + 1);
    if (c2 == std::string::npos) return false;
    std::string name = item.substr(0, c1);
    std::string nth_text = item.substr(c1 + 1, c2 - c1 - 1);
    std::string error_text = item.substr(c2 + 1);
    int call = -1;
    for (int i = 0; i < static_cast<int>(Call::count_); ++i)
        if (name == call_names[i]) call = i;
    char* end = nullptr;
    unsigned long nth = std::strtoul(nth_text.c_str(), &end, 10);
    if (call < 0 || nth_text.empty() || *end != '\0' || nth == 0 || nth > 1000000000UL) return false;
    int error;
    if (call == static_cast<int>(Call::swap)) {
        if (error_text.empty()) return false;
        swap_target = error_text;
        error = 0;  // nothing fails
    } else if (error_text == "short") {
        error = SHORT_TRANSFER;
    } else if (!error_text.empty() && error_text[0] >= '0' && error_text[0] <= '9') {
        long code = std::strtol(error_text.c_str(), &end, 10);
        if (*end != '\0' || code <= 0 || code > 0x7FFFFFFF) return false;
        error = static_cast<int>(code);
    } else {
        error = backend::error_code_for(error_text.c_str());
        if (error == 0) return false;
    }
    arm(static_cast<Call>(call), static_cast<unsigned>(nth), error);
    return true;
}

// True when the armed fault of this kind is due now; error is then its code.
bool due(Call call, int& error) {
    Slot& slot = slots[static_cast<int>(call)];
    if (slot.nth == 0 || ++slot.calls != slot.nth) return false;
    error = slot.error;
    return true;
}

}  // namespace

void arm(Call call, unsigned nth, int error) {
    Slot& slot = slots[static_cast<int>(call)];
    slot.calls = 0;
    slot.nth = nth;
    slot.error = error;
}

void clear() {
    for (int call = 0; call < static_cast<int>(Call::count_); ++call) arm(static_cast<Call>(call), 0, 0);
}

bool arm_from_text(const char* text) {
    std::string all(text);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        if (!parse_one(all.substr(start, comma - start))) return false;
        start = comma + 1;
    }
    return true;
}

bool any_armed() {
    for (const Slot& slot : slots)
        if (slot.nth != 0) return true;
    return false;
}

bool hit(Call call) {
    int error;
    if (!due(call, error)) return false;
    backend::set_last_error(error == SHORT_TRANSFER ? backend::error_code_for("io") : error);
    return true;
}

bool swap_due(std::string& target) {
    if (!hit(Call::swap)) return false;
    target = swap_target;
    return true;
}

bool transfer(Call call, std::size_t& size) {
    int error;
    if (!due(call, error)) return true;
    if (error == SHORT_TRANSFER) {
        size /= 2;
        return true;
    }
    backend::set_last_error(error);
    return false;
}

}  // namespace plat::fault
