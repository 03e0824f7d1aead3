#include "rangekit/dump_output.h"

#include "platform/console.h"
#include "platform/output.h"

namespace rangekit {

void take_dump_output_option(const char* argument, DumpMode& mode, const char*& file_name) {
    const bool named = argument[2] == ':';
    mode = named ? DumpMode::raw_file : DumpMode::raw_console;
    file_name = named ? argument + 3 : nullptr;
}

std::int64_t DumpOutput::write_file(const unsigned char* data, std::size_t size) {
    if (size == 0) return 0;
    if (!file_.is_open() && !file_.open(file_name_, plat::OpenMode::create_truncate, plat::OPEN_SEQUENTIAL)) {
        plat::std_out().print(MSG_OPEN_OUTPUT_FAILED, plat::display_name(file_name_).c_str());
        return -1;
    }
    if (file_.write(data, size) != static_cast<std::int64_t>(size)) {
        plat::std_out().print(write_failed_, plat::display_name(file_name_).c_str());
        return -1;
    }
    pager_.check_file_output();
    return static_cast<std::int64_t>(size);
}

std::int64_t DumpOutput::put(const unsigned char* data, std::size_t size) {
    std::int64_t shown = 0;
    switch (mode_) {
    case DumpMode::hex_dump: shown = static_cast<std::int64_t>(line_.add(data, size, pager_)); break;
    case DumpMode::raw_file: return write_file(data, size);
    case DumpMode::raw_console: shown = static_cast<std::int64_t>(console_.write_block(data, size, pager_)); break;
    }
    // Once a block: output nobody can read any more ends the work.
    return plat::std_out().failed() ? -1 : shown;
}

bool DumpOutput::delivered() { return mode_ == DumpMode::raw_file || plat::std_out().flush(); }

void DumpOutput::finish() {
    if (mode_ == DumpMode::hex_dump)
        line_.finish();
    else if (pager_.canceled())
        plat::std_out().text("\n");
}

}  // namespace rangekit
