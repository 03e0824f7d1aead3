// Where the two dump tools send the bytes of their range: hex dump lines on
// the screen, raw into a file (/T:name), or raw to the console (/T).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "rangekit/hexline.h"
#include "rangekit/toolframe.h"

namespace rangekit {

enum class DumpMode { hex_dump, raw_file, raw_console };

// Reads /T (raw to the console) or /T:name (raw into the file name).
void take_dump_output_option(const char* argument, DumpMode& mode, const char*& file_name);

class DumpOutput {
public:
    // file is the open output file of raw_file mode; unused otherwise.
    DumpOutput(DumpMode mode, int page_lines, AddressStyle style, std::uint32_t sector_size, plat::File* file)
        : mode_(mode), pager_(page_lines), line_(style, sector_size), file_(file) {}

    // Begins at a byte position: the hex dump aligns its first line to it.
    void start(std::int64_t position) {
        if (mode_ == DumpMode::hex_dump) line_.start(position);
    }
    // Passes size bytes on, with the key checks of the mode. Returns how many
    // were shown or written before ESC stopped it, or -1 when writing the
    // file failed.
    std::int64_t put(const unsigned char* data, std::size_t size);
    // Ends the output: the last partial hex line, or, when ESC stopped raw
    // output, a line end so that the cancel message starts a line.
    void finish();

    bool canceled() const { return pager_.canceled(); }

private:
    DumpMode mode_;
    Pager pager_;
    HexLine line_;
    RawConsoleWriter console_;
    plat::File* file_;
};

}  // namespace rangekit
