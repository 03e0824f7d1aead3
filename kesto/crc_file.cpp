// The walker's CRC operation (/F): a file read in blocks through the CRC
// engine, with the read test of /FN and the progress report of /FP.
#include "kesto/crc_file.h"

#include "kesto/console.h"
#include "kesto/crc.h"
#include "kesto/options.h"
#include "kesto/progress.h"
#include "kesto/read_ahead.h"
#include "kesto/walker.h"
#include "platform/file.h"
#include "platform/output.h"

namespace kesto {

namespace {

using plat::Message;

const Message MSG_CANNOT_OPEN = {"Cannot opepn file %s!(%d/0x%lX)\n", "ファイル%sをオープンできません!(%d/0x%lX)\n"};
const Message MSG_READ_FAILED = {"Read file %s failed!\n", "ファイル%sの読出でエラーが発生しました!\n"};
const Message MSG_CLOSE_FAILED = {"Close file %s failed!\n", "ファイル%sのクローズでエラーが発生しました!\n"};
const Message MSG_CRC_COMPUTING = {"CRC Computing", "CRC 計算中"};
const Message MSG_READ_TESTING = {"Read Testing", "読出テスト"};

// Kept from file to file: its blocks are allocated once.
ReadAhead reader;

}  // namespace

CrcResult crc_file() {
    const OperationOptions& o = state.options;
    const char* path = walker.entry_long_path.c_str();
    // After a failure the walk goes on only with /FE, and never after ESC.
    auto failed = [&o]() {
        CrcResult result;
        result.walk_result = o.continue_on_error && !state.aborted ? 1 : 0;
        return result;
    };
    plat::File file;
    if (!file.open(path, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
        const int error = plat::last_error();
        print_reversed(1, MSG_CANNOT_OPEN, path, error, static_cast<unsigned long>(error));
        return failed();
    }
    const bool read_test = o.crc_polynomial == READ_TEST_ONLY;
    unsigned flags = CRC_START | CRC_RESET;
    std::uint32_t crc = 0;
    if (o.crc_initial_given) {
        flags = CRC_START;
        crc = o.crc_initial_value;
    }
    const std::uint64_t total = current_level().find_data.size;
    std::uint64_t remaining = total;
    ProgressReport progress(2, total);
    if (o.show_progress)
        progress.set_heading(plat::message_text(read_test ? MSG_READ_TESTING : MSG_CRC_COMPUTING) + " " + path + " ");
    reader.start(file, total, state.transfer_buffer.get(), TRANSFER_BUFFER_SIZE);
    // An empty file makes one pass with 0 bytes, which finishes the CRC.
    for (;;) {
        const std::size_t chunk = reader.next_size();
        const unsigned char* buffer = nullptr;
        if (reader.next(buffer) != static_cast<std::int64_t>(chunk)) {
            print_reversed(1, MSG_READ_FAILED, path);
            break;
        }
        if (!read_test) {
            if (chunk == remaining) flags |= CRC_FINISH;
            crc = o.crc32_selected ? crc32_update(flags, crc, buffer, chunk) : crc16_update(flags, crc, buffer, chunk);
            flags = 0;
        }
        remaining -= chunk;
        if (o.show_progress) progress.update(remaining);
        if (check_user_break(nullptr, false) || remaining == 0) break;
    }
    reader.stop();
    progress.erase();
    const int speed = progress.whole_speed();
    if (!file.close()) {
        print_reversed(2, MSG_CLOSE_FAILED, path);
        return failed();
    }
    if (remaining != 0) return failed();
    CrcResult result;
    result.complete = true;
    result.walk_result = 1;
    result.crc = crc;
    result.measured_speed = speed;
    return result;
}

}  // namespace kesto
