// The walker's CRC operation (/F): a file read in blocks through the CRC
// engine, with the read test of /FN and the progress report of /FP.
#include "kesto/crc_file.h"

#include <algorithm>
#include <functional>

#include "kesto/console.h"
#include "kesto/crc.h"
#include "kesto/options.h"
#include "kesto/progress.h"
#include "kesto/walker.h"
#include "kesto/work_ahead.h"
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

enum class ReadEnd { complete, failed, stopped };

// The register's start: the standard value, or that of /FI.
std::uint32_t crc_start(unsigned& flags) {
    const OperationOptions& o = state.options;
    flags = o.crc_initial_given ? CRC_START : CRC_START | CRC_RESET;
    return o.crc_initial_given ? o.crc_initial_value : 0;
}

// Reads total bytes of file block by block through buffer (of
// TRANSFER_BUFFER_SIZE), computing the CRC of the options into crc (none for
// the read test); after_block(remaining) is called after each block and
// stops the reading short of the end by returning true. An empty file makes
// one pass with 0 bytes, which finishes the CRC.
template <typename AfterBlock>
ReadEnd crc_data(plat::File& file, std::uint64_t total, unsigned char* buffer, std::uint32_t& crc,
                 AfterBlock after_block) {
    const OperationOptions& o = state.options;
    const bool read_test = o.crc_polynomial == READ_TEST_ONLY;
    unsigned flags;
    crc = crc_start(flags);
    for (std::uint64_t remaining = total;;) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, TRANSFER_BUFFER_SIZE));
        if (file.read(buffer, chunk) != static_cast<std::int64_t>(chunk)) return ReadEnd::failed;
        if (!read_test) {
            if (chunk == remaining) flags |= CRC_FINISH;
            crc = o.crc32_selected ? crc32_update(flags, crc, buffer, chunk) : crc16_update(flags, crc, buffer, chunk);
            flags = 0;
        }
        remaining -= chunk;
        const bool stop = after_block(remaining);
        if (remaining == 0) return ReadEnd::complete;
        if (stop) return ReadEnd::stopped;
    }
}

// On a worker: the CRC of a file of the directory, as crc_file reads it.
void crc_ahead(AheadItem& item, const plat::Directory& /*destination*/, unsigned char* scratch,
               const std::function<bool()>& stop) {
    plat::File file;
    if (!file.open(item.source_path.c_str(), plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) return;
    const ReadEnd end =
        crc_data(file, item.entry.size, scratch, item.outcome, [&stop](std::uint64_t) { return stop(); });
    item.done = file.close() && end == ReadEnd::complete;
}

const AheadWork CRC_AHEAD = {crc_ahead, nothing_to_discard, DestinationUse::none};

// The CRC of the current entry, read here: its messages, the progress of /P
// and the speed it measures.
CrcResult read_entry() {
    const OperationOptions& o = state.options;
    const char* path = walker.entry_long_path.c_str();
    // After a failure the walk goes on only with /FE, and never after ESC.
    auto failed = [&]() {
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
    const std::uint64_t total = current_level().find_data.size;
    ProgressReport progress(2, total);
    if (o.show_progress)
        progress.set_heading(plat::message_text(read_test ? MSG_READ_TESTING : MSG_CRC_COMPUTING) + " " + path + " ");
    std::uint32_t crc = 0;
    const ReadEnd end = crc_data(file, total, state.transfer_buffer.get(), crc, [&](std::uint64_t remaining) {
        if (o.show_progress) progress.update(remaining);
        return check_user_break(nullptr, false) != 0;
    });
    if (end == ReadEnd::failed) print_reversed(1, MSG_READ_FAILED, path);
    progress.erase();
    const int speed = progress.whole_speed();
    if (!file.close()) {
        print_reversed(2, MSG_CLOSE_FAILED, path);
        return failed();
    }
    if (end != ReadEnd::complete) return failed();
    CrcResult result;
    result.complete = true;
    result.walk_result = 1;
    result.crc = crc;
    result.measured_speed = speed;
    return result;
}

}  // namespace

CrcResult crc_file() {
    AheadItem prepared;
    CrcResult result;
    if (claim_work_ahead(prepared)) {
        result.complete = true;
        result.walk_result = 1;
        result.crc = prepared.outcome;
    } else if (!state.aborted) {
        result = read_entry();
    }
    // The next files are read while this one's line is printed; /P measures
    // each file's own read, which a worker's would not show.
    if (!state.options.show_progress) start_work_ahead(CRC_AHEAD);
    return result;
}

}  // namespace kesto
