#include "rangekit/dumpoutput.h"

#include "platform/output.h"

namespace rangekit {

void take_dump_output_option(const char* argument, DumpMode& mode, const char*& file_name) {
    const bool named = argument[2] == ':';
    mode = named ? DumpMode::raw_file : DumpMode::raw_console;
    file_name = named ? argument + 3 : nullptr;
}

std::int64_t DumpOutput::put(const unsigned char* data, std::size_t size) {
    switch (mode_) {
    case DumpMode::hex_dump:
        return static_cast<std::int64_t>(line_.add(data, size, pager_));
    case DumpMode::raw_file:
        if (file_->write(data, size) != static_cast<std::int64_t>(size)) return -1;
        pager_.check_file_output();
        return static_cast<std::int64_t>(size);
    case DumpMode::raw_console:
        return static_cast<std::int64_t>(console_.write_block(data, size, pager_));
    }
    return 0;
}

void DumpOutput::finish() {
    if (mode_ == DumpMode::hex_dump) line_.finish();
    else if (pager_.canceled()) plat::std_out().text("\n");
}

}  // namespace rangekit
