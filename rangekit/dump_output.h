// Where the two dump tools send the bytes of their range: hex dump lines on
// the screen, raw into a file (/T:name), or raw to the console (/T).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "platform/message.h"
#include "rangekit/hex_line.h"
#include "rangekit/tool_frame.h"

namespace rangekit {

enum class DumpMode { hex_dump, raw_file, raw_console };

// Reads /T (raw to the console) or /T:name (raw into the file name).
void take_dump_output_option(const char* argument, DumpMode& mode, const char*& file_name);

class DumpOutput {
public:
    // In raw_file mode, file is created as file_name when the first bytes
    // are to be written into it (a range with nothing in it creates no
    // file); write_failed is the tool's message for a short write.
    DumpOutput(DumpMode mode, int page_lines, AddressStyle style, std::uint32_t sector_size, plat::File& file,
               const char* file_name, const plat::Message& write_failed)
        : mode_(mode),
          pager_(page_lines),
          line_(style, sector_size),
          file_(file),
          file_name_(file_name),
          write_failed_(write_failed) {}

    // Begins at a byte position: the hex dump aligns its first line to it.
    void start(std::int64_t position) {
        if (mode_ == DumpMode::hex_dump) line_.start(position);
    }
    // Passes size bytes on, with the key checks of the mode. Returns how many
    // were shown or written before ESC stopped it, or -1 when the output
    // failed: the file could not be created or written (the message is
    // printed), or standard output is gone (a closed pipe, a full device).
    std::int64_t put(const unsigned char* data, std::size_t size);
    // True when everything shown so far has reached standard output (it is
    // written out now); false once that failed.
    bool delivered();
    // Ends the output: the last partial hex line, or, when ESC stopped raw
    // output, a line end so that the cancel message starts a line.
    void finish();

    bool canceled() const { return pager_.canceled(); }

private:
    std::int64_t write_file(const unsigned char* data, std::size_t size);

    DumpMode mode_;
    Pager pager_;
    HexLine line_;
    RawConsoleWriter console_;
    plat::File& file_;
    const char* file_name_;
    const plat::Message& write_failed_;
};

}  // namespace rangekit
