#include "tolven/block_sort.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/fault.h"
#include "platform/output.h"
#include "tolven/tolven.h"

namespace tolven {
namespace {

// Byte tables. lead: per rule (index 1: Shift-JIS double-byte characters,
// index 0: every byte one column), which bytes begin a two-byte character.
// fold: per case mode, the folded byte. code: per rule and case mode, a key
// code that orders bytes as compare_key does: 0 for NUL (the end of a key),
// then the other single bytes in the order of their folded values, then the
// lead bytes in byte order.
struct KeyTables {
    bool lead[2][256];
    unsigned char fold[3][256];
    unsigned char code[2][3][256];

    constexpr KeyTables() : lead(), fold(), code() {
        for (int mode = 0; mode < 3; ++mode) {
            for (int c = 0; c < 256; ++c) {
                bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
                int folded = c;
                if (mode == 1 && lower) folded = c & ~0x20;
                if (mode == 2 && upper) folded = c | 0x20;
                fold[mode][c] = static_cast<unsigned char>(folded);
            }
        }
        for (int rule = 0; rule < 2; ++rule) {
            for (int value = 1; value < 256; ++value)
                lead[rule][value] = rule == 1 && plat::is_shift_jis_lead(static_cast<unsigned>(value));
            unsigned char rank[256] = {};
            int next = 1;
            for (int value = 1; value < 256; ++value)
                if (!lead[rule][value]) rank[value] = static_cast<unsigned char>(next++);
            for (int value = 1; value < 256; ++value)
                if (lead[rule][value]) rank[value] = static_cast<unsigned char>(next++);
            for (int mode = 0; mode < 3; ++mode)
                for (int c = 0; c < 256; ++c) code[rule][mode][c] = rank[fold[mode][c]];
        }
    }
};
constexpr KeyTables KEY_TABLES;

// key_prefix() of every line that reaches the start column is at least this.
constexpr std::uint64_t LONG_LINE = std::uint64_t(1) << 56;

std::int64_t key_budget() { return static_cast<std::int64_t>(state.sort_end_column) - state.sort_start_column; }

// Where a line cut before text[column] would split a well-formed UTF-8
// sequence, the cut moves back to the sequence's first byte. Bytes that form
// no sequence are cut anywhere.
std::int64_t utf8_cut(const unsigned char* text, std::int64_t column) {
    std::int64_t start = column;
    while (start > 0 && column - start < 3 && (text[start] & 0xC0) == 0x80) --start;
    const auto* sequence = reinterpret_cast<const char*>(text + start);
    const bool inside = start < column && start + static_cast<std::int64_t>(plat::utf8_char_length(sequence)) > column;
    return inside ? start : column;
}

// The order of two lines by their keys, from their prefixes and their
// NUL-terminated texts: negative, 0 (equal keys) or positive.
int compare_lines(std::uint64_t x_prefix, const unsigned char* x, std::uint64_t y_prefix, const unsigned char* y) {
    if (x_prefix != y_prefix) return x_prefix < y_prefix ? -1 : 1;
    if (x_prefix < LONG_LINE) return 0;  // both end before the start column
    return compare_key(x + state.sort_start_column, y + state.sort_start_column, key_budget());
}

// Ties go to the earlier line in the input (smaller offset, or smaller
// block number), which makes the order total; "/R" reverses all of it.
int resolve_tie(int order, std::int64_t x_place, std::int64_t y_place) {
    if (order == 0) order = (x_place > y_place) - (x_place < y_place);
    return state.reverse_order ? -order : order;
}

template <typename T>
std::unique_ptr<T[]> allocate_array(std::uint64_t count) {
    if (count > PTRDIFF_MAX / sizeof(T) || plat::fault::hit(plat::fault::Call::allocate)) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<std::size_t>(count)]);
}

std::string source_word() { return plat::message_text(*state.source_name); }

// A source that shrank while it was read may have given zeros for text:
// that is a failed read. False after the message.
bool whole_source(plat::FileReader& reader) {
    if (!reader.shrunk()) return true;
    return fail(EXIT_FILE_ACCESS, MSG_READ_LINE_FAILED, source_word().c_str());
}

struct BlockEntry {
    std::int64_t line_count;  // lines not yet written
    std::int64_t first_line;  // index position of the first line not yet written
    std::int64_t last_line;   // index position of the block's last line
    std::int64_t slot_size;   // bytes of the block's slot
    // During the merge: the slot holds the block's next lines, read ahead,
    // each as a record of its 32-bit length, its text and a NUL; head is the
    // record of line first_line, loaded_end the index position after the
    // last line in the slot.
    unsigned char* slot;
    unsigned char* head;
    std::int64_t loaded_end;
    std::uint64_t head_prefix;  // key_prefix() of the head line
};

// A line's record in a slot: length, text, NUL.
constexpr std::int64_t RECORD_OVERHEAD = 5;

// Bytes of a block's slot beyond its longest line: lines read from the
// source by offset land in random places, and reading a couple of dozen of
// them at a time lets their memory accesses overlap instead of waiting for
// each in turn. 2 KiB took the least processor time on a 1 GiB file of
// 95-byte lines (1, 4 and 8 KiB took 5 to 15% more).
constexpr std::int64_t READ_AHEAD_BYTES = 2048;

// Both phases use two cores once there are this many blocks (and the
// system has more than one): below it, threads cost more than they save.
constexpr std::int64_t TWO_CORES_MIN_BLOCKS = 16;

bool two_cores(std::int64_t block_count) {
    return block_count >= TWO_CORES_MIN_BLOCKS && std::thread::hardware_concurrency() != 1;
}

// Every slot is below 4 GiB, so a line's length fits its 32-bit field.
std::uint32_t record_length(const unsigned char* record) {
    std::uint32_t length;
    std::memcpy(&length, record, sizeof length);
    return length;
}
const unsigned char* record_text(const unsigned char* record) { return record + 4; }

// A line of the block being sorted: its entry, and its prefix for quick
// comparisons.
struct SortItem {
    std::uint64_t prefix;
    LineEntry entry;
};

// The order of two lines of the block whose text (starting at read_offset
// in the source) is in memory; ties go to the smaller offset.
int compare_in_block(const SortItem& a, const SortItem& b, const unsigned char* text, std::int64_t read_offset) {
    const unsigned char* x = text + (a.entry.offset - read_offset);
    const unsigned char* y = text + (b.entry.offset - read_offset);
    return resolve_tie(compare_lines(a.prefix, x, b.prefix, y), a.entry.offset, b.entry.offset);
}

// Sorts the entries of one block whose text (block bytes, starting at
// read_offset in the source) is in memory; notes the block's slot size.
void sort_block(LineEntry* lines, BlockEntry& block, unsigned char* text, std::int64_t read_offset, SortItem* items) {
    const auto count = static_cast<std::size_t>(block.line_count);
    std::int64_t longest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const LineEntry& entry = lines[i];
        unsigned char* line = text + (entry.offset - read_offset);
        // The byte after a line is its line end, or the block's extra byte.
        line[entry.length] = '\0';
        items[i] = SortItem{key_prefix(line, entry.length), entry};
        longest = std::max(longest, entry.length);
    }
    block.slot_size = std::max(longest + RECORD_OVERHEAD, READ_AHEAD_BYTES);
    std::sort(items, items + count,
              [&](const SortItem& a, const SortItem& b) { return compare_in_block(a, b, text, read_offset) < 0; });
    for (std::size_t i = 0; i < count; ++i) lines[i] = items[i].entry;
}

// The primary phase on two cores: this thread reads each block's text and
// hands it to the helper when the helper is free, else sorts it itself, so
// that the reads and the sorts of two blocks overlap. The helper only sorts:
// every read, message and poll of the keyboard stays here.
class BlockSorter {
public:
    BlockSorter(LineEntry* index, SortItem* items) : index_(index), items_(items) {}
    ~BlockSorter() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            ending_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
    }
    BlockSorter(const BlockSorter&) = delete;
    BlockSorter& operator=(const BlockSorter&) = delete;

    // False when the system gives no thread.
    bool start() { return start_thread(thread_, &BlockSorter::run, this); }
    // Takes the block (and its text) when the helper is free.
    bool offer(BlockEntry& block, std::unique_ptr<unsigned char[]>& text, std::int64_t read_offset) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (block_) return false;
        block_ = &block;
        text_ = std::move(text);
        read_offset_ = read_offset;
        changed_.notify_all();
        return true;
    }
    // Waits until the helper has sorted the block it took.
    void wait_idle() {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [&] { return !block_; });
    }

private:
    void run() {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            changed_.wait(hold, [&] { return block_ || ending_; });
            if (!block_) return;
            hold.unlock();
            sort_block(index_ + block_->first_line, *block_, text_.get(), read_offset_, items_);
            text_.reset();
            hold.lock();
            block_ = nullptr;
            changed_.notify_all();
        }
    }

    LineEntry* index_;
    SortItem* items_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ending_ = false;
    // The block being sorted, with its text: set here, cleared by the
    // helper when it is done.
    BlockEntry* block_ = nullptr;
    std::unique_ptr<unsigned char[]> text_;
    std::int64_t read_offset_ = 0;
};

bool primary_phase(LineEntry* index, BlockEntry* blocks, std::int64_t block_count, plat::FileReader& reader) {
    if (state.show_progress) report(MSG_SORTING_PRIMARY);
    const std::int64_t per_block = blocks[0].line_count;
    const unsigned long long items_bytes = static_cast<unsigned long long>(per_block) * sizeof(SortItem);
    auto items = allocate_array<SortItem>(static_cast<std::uint64_t>(per_block));
    if (!items) return fail(EXIT_NO_MEMORY, MSG_PRIMARY_MEMORY, items_bytes);
    std::unique_ptr<SortItem[]> helper_items;
    if (two_cores(block_count)) {
        helper_items = allocate_array<SortItem>(static_cast<std::uint64_t>(per_block));
        if (!helper_items) return fail(EXIT_NO_MEMORY, MSG_PRIMARY_MEMORY, items_bytes);
    }
    BlockSorter sorter(index, helper_items.get());
    const bool helped = helper_items && sorter.start();
    std::uint64_t largest_block_bytes = 0;
    ProgressBar progress;
    for (std::int64_t i = 0; i < block_count; ++i) {
        BlockEntry& block = blocks[i];
        const LineEntry& last = index[block.last_line];
        const std::int64_t read_offset = index[block.first_line].offset;
        const std::int64_t size = last.offset + last.length - read_offset;
        if (size + 1 >= 0xFFFFFFFF) return fail(EXIT_NO_MEMORY, MSG_BLOCK_TOO_LARGE, static_cast<long long>(i + 1));
        const auto bytes = static_cast<std::uint64_t>(size + 1);
        auto text = allocate_array<unsigned char>(bytes);
        if (!text) return fail(EXIT_NO_MEMORY, MSG_PRIMARY_MEMORY, static_cast<unsigned long long>(bytes));
        largest_block_bytes = std::max(largest_block_bytes, bytes);
        std::int64_t got = reader.read(read_offset, text.get(), static_cast<std::size_t>(size));
        if (got != size) {
            auto wanted = static_cast<long long>(size), at = static_cast<long long>(read_offset);
            auto arrived = static_cast<long long>(std::max<std::int64_t>(got, 0));
            return fail(EXIT_FILE_ACCESS, MSG_READ_BLOCK_FAILED, source_word().c_str(), wanted, at, arrived);
        }
        if (!helped || !sorter.offer(block, text, read_offset)) {
            sort_block(index + block.first_line, block, text.get(), read_offset, items.get());
            text.reset();
        }
        if (state.show_progress)
            progress.advance(static_cast<std::uint64_t>(i), static_cast<std::uint64_t>(block_count));
        if (escape_typed(true)) return false;
    }
    sorter.wait_idle();
    if (!whole_source(reader)) return false;
    if (state.show_progress) {
        report(MSG_LINE_END);
        auto table = static_cast<unsigned long long>(block_count) * sizeof(BlockEntry);
        auto largest = static_cast<unsigned long long>(largest_block_bytes);
        auto count = static_cast<long long>(block_count);
        report(MSG_PRIMARY_STATISTICS, table, largest, count);
    }
    return true;
}

// Reads a line into the record at record; false when it cannot be read
// whole. The caller reports it: a merge worker prints nothing.
bool load_line(const LineEntry& entry, unsigned char* record, plat::FileReader& reader) {
    auto length = static_cast<std::uint32_t>(entry.length);
    std::memcpy(record, &length, sizeof length);
    unsigned char* text = record + 4;
    if (reader.read(entry.offset, text, length) != entry.length) return false;
    text[length] = '\0';
    return true;
}

bool line_read_failed() { return fail(EXIT_FILE_ACCESS, MSG_READ_LINE_FAILED, source_word().c_str()); }

void take_head(BlockEntry& block, unsigned char* record) {
    block.head = record;
    block.head_prefix = key_prefix(record_text(record), record_length(record));
}

// Asks for every cache line of a line's text: each prefetch brings two, and
// a line of a hundred bytes at a random place spans three lines as often
// as two.
void prefetch_line(const LineEntry& entry, const plat::FileReader& reader) {
    constexpr std::int64_t CACHE_LINE = 64;
    const std::int64_t end = entry.offset + entry.length;
    for (std::int64_t at = entry.offset - entry.offset % CACHE_LINE; at < end; at += 2 * CACHE_LINE)
        reader.prefetch(at);
}

// Fills a block's slot with its next lines, as many as fit (at least one).
bool fill_slot(BlockEntry& block, const LineEntry* index, plat::FileReader& reader) {
    const std::int64_t first = block.first_line, end = first + block.line_count;
    std::int64_t stop = first;
    for (std::int64_t used = 0; stop < end && used + index[stop].length + RECORD_OVERHEAD <= block.slot_size; ++stop) {
        used += index[stop].length + RECORD_OVERHEAD;
        prefetch_line(index[stop], reader);
    }
    unsigned char* record = block.slot;
    for (std::int64_t line = first; line < stop; ++line) {
        if (!load_line(index[line], record, reader)) return false;
        record += index[line].length + RECORD_OVERHEAD;
    }
    block.loaded_end = stop;
    take_head(block, block.slot);
    return true;
}

// Moves a block on past its head line; false when its next line cannot be
// read.
bool advance_block(BlockEntry& block, const LineEntry* index, plat::FileReader& reader) {
    ++block.first_line;
    if (--block.line_count == 0) return true;
    if (block.first_line == block.loaded_end) return fill_slot(block, index, reader);
    take_head(block, block.head + record_length(block.head) + RECORD_OVERHEAD);
    return true;
}

int compare_block_heads(const BlockEntry* blocks, std::uint32_t a, std::uint32_t b) {
    const BlockEntry& x = blocks[a];
    const BlockEntry& y = blocks[b];
    return resolve_tie(compare_lines(x.head_prefix, record_text(x.head), y.head_prefix, record_text(y.head)), a, b);
}

// The merge order: a tournament tree over the blocks' current lines, in
// which each inner node keeps the block that lost the match there and
// tree[0] the overall winner. Replacing the winner's line replays only the
// matches on its way to the root: about log2(B) comparisons per line. Each
// block's key (its head line's prefix, turned for "/R") sits in a small
// array of its own, so that most matches are decided there; an exhausted
// block has the largest key and loses every match.
struct LoserTree {
    static constexpr std::uint64_t EXHAUSTED = UINT64_MAX;
    // key_prefix() is below this.
    static constexpr std::uint64_t PREFIX_LIMIT = LONG_LINE << 1;

    BlockEntry* blocks;
    std::uint32_t* tree;  // B entries
    std::uint64_t* keys;  // B entries
    std::size_t leaves;   // B

    void set_key(std::uint32_t block) {
        const BlockEntry& entry = blocks[block];
        std::uint64_t prefix = entry.head_prefix;
        keys[block] = entry.line_count == 0 ? EXHAUSTED : state.reverse_order ? PREFIX_LIMIT - prefix : prefix;
    }
    bool before(std::uint32_t a, std::uint32_t b) const {
        if (keys[a] != keys[b]) return keys[a] < keys[b];
        if (keys[a] == EXHAUSTED) return false;
        return compare_block_heads(blocks, a, b) < 0;
    }
    // The winner below node (leaves are nodes leaves..2*leaves-1).
    std::uint32_t build(std::size_t node) {
        if (node >= leaves) return static_cast<std::uint32_t>(node - leaves);
        std::uint32_t a = build(2 * node), b = build(2 * node + 1);
        bool a_wins = before(a, b);
        tree[node] = a_wins ? b : a;
        return a_wins ? a : b;
    }
    void start() {
        for (std::size_t block = 0; block < leaves; ++block) set_key(static_cast<std::uint32_t>(block));
        tree[0] = build(1);
    }
    // After the block's head line changed. The keys decide almost every
    // match, and which side wins one is a coin toss: the winner is chosen
    // by selection rather than by a branch, which the processor would guess
    // wrong half of the time. Only equal keys take the branch to the lines.
    void replay(std::uint32_t leaf) {
        set_key(leaf);
        std::uint32_t winner = leaf;
        std::uint64_t winner_key = keys[leaf];
        for (std::size_t node = (leaf + leaves) / 2; node > 0; node /= 2) {
            const std::uint32_t other = tree[node];
            const std::uint64_t other_key = keys[other];
            bool other_wins = other_key < winner_key;
            if (other_key == winner_key) other_wins = before(other, winner);
            // All ones when the other block wins: the pair swaps.
            const std::uint32_t swap = 0u - static_cast<std::uint32_t>(other_wins);
            const std::uint32_t change = (other ^ winner) & swap;
            tree[node] = other ^ change;
            winner ^= change;
            winner_key ^= (other_key ^ winner_key) & (std::uint64_t(0) - std::uint64_t(other_wins));
        }
        tree[0] = winner;
    }
};

// Writes the merged lines to standard output, with the progress marks and
// the watch for ESC. put() is false when the merge must stop: ESC, or
// output that cannot be written (reported as the program ends).
struct LineWriter {
    explicit LineWriter(std::uint64_t line_count) : line_count(line_count) {}

    std::uint64_t line_count;
    std::uint64_t written = 0;
    plat::Output& out = plat::std_out();
    const std::string_view line_end = plat::text_line_end();
    ProgressBar progress;

    bool put(const unsigned char* record) {
        const unsigned char* text = record_text(record);
        std::int64_t length = record_length(record);
        if (state.truncate_column >= 1) length = truncated_length(text, length, state.truncate_column);
        out.binary(text, static_cast<std::size_t>(length));
        out.binary(line_end.data(), line_end.size());
        if (state.show_progress) progress.advance(written, line_count);
        ++written;
        if (out.failed()) return false;
        return written % 256 != 0 || !escape_typed();
    }
};

// Why a merge ended: every line passed on, stopped by the one it passes
// lines to, or a line that could not be read.
enum class MergeEnd { done, stopped, read_failed };

// Merges the blocks of merge (their slots filled) in key order, passing
// each head line on with emit(block), which is false to stop the merge.
template <typename Emit>
MergeEnd merge_blocks(LoserTree& merge, const LineEntry* index, plat::FileReader& reader, Emit emit) {
    merge.start();
    for (;;) {
        const std::uint32_t head = merge.tree[0];
        BlockEntry& block = merge.blocks[head];
        if (block.line_count == 0) return MergeEnd::done;  // the winner is exhausted: all are
        if (!emit(block)) return MergeEnd::stopped;
        if (!advance_block(block, index, reader)) return MergeEnd::read_failed;
        merge.replay(head);
    }
}

// On two cores the merge runs in two halves: a worker merges the first half
// of the blocks, another the second, and this thread merges their two
// streams of lines to the output. The waits for lines read back from random
// places in the source, most of the merge's time, are then shared by both
// cores. A worker hands its lines over in chunks of records, each a line's
// key prefix (8 bytes) and then its record as in a slot; a few chunks go
// round between the two sides, so that the memory stays small and fixed.
constexpr std::size_t CHUNK_BYTES = std::size_t(1) << 20;
constexpr std::size_t CHUNKS_PER_STREAM = 3;
constexpr std::size_t STREAM_PREFIX = sizeof(std::uint64_t);

class LineStream {
public:
    explicit LineStream(unsigned char* memory) {
        for (std::size_t i = 0; i < CHUNKS_PER_STREAM; ++i) spare_.push_back(memory + i * CHUNK_BYTES);
    }

    // The worker's side: passes on a block's head line (the record fits a
    // chunk); false when the reader has stopped.
    bool put(const BlockEntry& block) {
        const std::size_t bytes = record_length(block.head) + RECORD_OVERHEAD;
        if (!filling_ || filled_ + STREAM_PREFIX + bytes > CHUNK_BYTES) {
            std::unique_lock<std::mutex> hold(mutex_);
            if (filling_) {
                full_.push_back({filling_, filled_});
                changed_.notify_all();
            }
            changed_.wait(hold, [&] { return stopped_ || !spare_.empty(); });
            if (stopped_) return false;
            filling_ = spare_.back();
            spare_.pop_back();
            filled_ = 0;
        }
        std::memcpy(filling_ + filled_, &block.head_prefix, STREAM_PREFIX);
        std::memcpy(filling_ + filled_ + STREAM_PREFIX, block.head, bytes);
        filled_ += STREAM_PREFIX + bytes;
        return true;
    }
    // The worker's side, last: passes on the lines still held and why the
    // merge ended.
    void close(MergeEnd end) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (filling_ && filled_ > 0) full_.push_back({filling_, filled_});
        filling_ = nullptr;
        end_ = end;
        closed_ = true;
        changed_.notify_all();
    }

    // The reader's side: the next line's prefix and record, valid until the
    // next call; null at the end of the stream, when end() tells why.
    const unsigned char* next() {
        if (!reading_.data || read_at_ == reading_.used) {
            std::unique_lock<std::mutex> hold(mutex_);
            if (reading_.data) {
                spare_.push_back(reading_.data);
                reading_ = {};
                changed_.notify_all();
            }
            changed_.wait(hold, [&] { return closed_ || !full_.empty(); });
            if (full_.empty()) return nullptr;
            reading_ = full_.front();
            full_.pop_front();
            read_at_ = 0;
        }
        const unsigned char* item = reading_.data + read_at_;
        read_at_ += STREAM_PREFIX + record_length(item + STREAM_PREFIX) + RECORD_OVERHEAD;
        return item;
    }
    MergeEnd end() {
        std::lock_guard<std::mutex> hold(mutex_);
        return end_;
    }
    // The reader's side: no more lines are wanted; the worker stops.
    void stop() {
        std::lock_guard<std::mutex> hold(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    struct Chunk {
        unsigned char* data;
        std::size_t used;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> full_;             // passed on, in order
    std::vector<unsigned char*> spare_;  // free for the worker
    bool closed_ = false, stopped_ = false;
    MergeEnd end_ = MergeEnd::done;
    unsigned char* filling_ = nullptr;  // the worker's chunk
    std::size_t filled_ = 0;
    Chunk reading_{};  // the reader's chunk
    std::size_t read_at_ = 0;
};

std::uint64_t item_prefix(const unsigned char* item) {
    std::uint64_t prefix;
    std::memcpy(&prefix, item, sizeof prefix);
    return prefix;
}

// Merges the streams of the two halves to the output. A stream that ends
// for a failed read ends the merge there: the lines after its last one
// cannot be placed. On equal keys the first half's line is the earlier one
// in the input.
MergeEnd write_streams(LineStream (&streams)[2], LineWriter& writer) {
    const unsigned char* heads[2] = {streams[0].next(), streams[1].next()};
    for (;;) {
        for (int half = 0; half < 2; ++half)
            if (!heads[half] && streams[half].end() != MergeEnd::done) return streams[half].end();
        if (!heads[0] && !heads[1]) return MergeEnd::done;
        int pick = heads[0] ? 0 : 1;
        if (heads[0] && heads[1]) {
            const unsigned char* x = record_text(heads[0] + STREAM_PREFIX);
            const unsigned char* y = record_text(heads[1] + STREAM_PREFIX);
            pick = resolve_tie(compare_lines(item_prefix(heads[0]), x, item_prefix(heads[1]), y), 0, 1) < 0 ? 0 : 1;
        }
        if (!writer.put(heads[pick] + STREAM_PREFIX)) return MergeEnd::stopped;
        heads[pick] = streams[pick].next();
    }
}

void merge_half(LoserTree& merge, const LineEntry* index, plat::FileReader& reader, LineStream& stream) {
    stream.close(merge_blocks(merge, index, reader, [&](const BlockEntry& block) { return stream.put(block); }));
}

// The merge in two halves (see LineStream); false, with every started worker
// ended, when the system gives no thread.
bool merge_in_halves(LoserTree& whole, const LineEntry* index, plat::FileReader& reader, unsigned char* chunks,
                     LineWriter& writer, MergeEnd& end) {
    const std::size_t half = whole.leaves / 2;
    LoserTree merges[2] = {{whole.blocks, whole.tree, whole.keys, half},
                           {whole.blocks + half, whole.tree + half, whole.keys + half, whole.leaves - half}};
    LineStream streams[2] = {LineStream(chunks), LineStream(chunks + CHUNKS_PER_STREAM * CHUNK_BYTES)};
    std::thread workers[2];
    bool started = true;
    for (int i = 0; i < 2 && started; ++i)
        started =
            start_thread(workers[i], merge_half, std::ref(merges[i]), index, std::ref(reader), std::ref(streams[i]));
    if (started) end = write_streams(streams, writer);
    for (LineStream& stream : streams) stream.stop();
    for (std::thread& worker : workers)
        if (worker.joinable()) worker.join();
    return started;
}

void secondary_phase(LineEntry* index, BlockEntry* blocks, std::int64_t block_count, std::int64_t line_count,
                     plat::FileReader& reader) {
    std::uint64_t slot_bytes = 0;
    std::int64_t largest_slot = 0;
    for (std::int64_t i = 0; i < block_count; ++i) {
        slot_bytes += static_cast<std::uint64_t>(blocks[i].slot_size);
        largest_slot = std::max(largest_slot, blocks[i].slot_size);
    }
    if (slot_bytes >= 0xFFFFFFFF) {
        fail(EXIT_NO_MEMORY, MSG_SLOTS_TOO_LARGE);
        return;
    }
    auto slots = allocate_array<unsigned char>(slot_bytes);
    if (!slots) {
        fail(EXIT_NO_MEMORY, MSG_SECONDARY_MEMORY, static_cast<unsigned long long>(slot_bytes));
        return;
    }
    auto order = allocate_array<std::uint32_t>(static_cast<std::uint64_t>(block_count));
    auto keys = order ? allocate_array<std::uint64_t>(static_cast<std::uint64_t>(block_count)) : nullptr;
    if (!keys) {
        fail(EXIT_NO_MEMORY, MSG_ORDER_MEMORY);
        return;
    }
    // Lines too long for a chunk are merged in one piece.
    const bool in_halves =
        two_cores(block_count) && static_cast<std::size_t>(largest_slot) + STREAM_PREFIX <= CHUNK_BYTES;
    const std::uint64_t chunk_bytes = in_halves ? 2 * CHUNKS_PER_STREAM * CHUNK_BYTES : 0;
    auto chunks = in_halves ? allocate_array<unsigned char>(chunk_bytes) : nullptr;
    if (in_halves && !chunks) {
        fail(EXIT_NO_MEMORY, MSG_SECONDARY_MEMORY, static_cast<unsigned long long>(chunk_bytes));
        return;
    }
    unsigned char* slot = slots.get();
    for (std::int64_t i = 0; i < block_count; ++i) {
        blocks[i].slot = slot;
        slot += blocks[i].slot_size;
        if (!fill_slot(blocks[i], index, reader)) {
            line_read_failed();
            return;
        }
    }
    if (state.show_progress) report(MSG_SORTING_SECONDARY);

    LoserTree merge{blocks, order.get(), keys.get(), static_cast<std::size_t>(block_count)};
    LineWriter writer(static_cast<std::uint64_t>(line_count));
    MergeEnd end = MergeEnd::done;
    if (!in_halves) {
        end = merge_blocks(merge, index, reader, [&](const BlockEntry& block) { return writer.put(block.head); });
    } else if (!merge_in_halves(merge, index, reader, chunks.get(), writer, end)) {
        fail(EXIT_NO_MEMORY, MSG_SECONDARY_MEMORY, static_cast<unsigned long long>(chunk_bytes));
        return;
    }
    if (end == MergeEnd::read_failed) {
        line_read_failed();
        return;
    }
    if (state.error_level != EXIT_NO_ERROR) return;  // ESC
    if (!whole_source(reader)) return;
    if (state.show_progress && !writer.out.failed()) {
        report(MSG_LINE_END);
        report(MSG_MERGE_STATISTICS,
               static_cast<unsigned long long>(block_count) * (sizeof(std::uint32_t) + sizeof(std::uint64_t)),
               static_cast<unsigned long long>(slot_bytes));
    }
}

}  // namespace

int compare_key(const unsigned char* x, const unsigned char* y, std::int64_t budget) {
    const unsigned char* fold = KEY_TABLES.fold[state.case_mode];
    const bool* lead = KEY_TABLES.lead[state.double_byte];
    for (; budget > 0; --budget) {
        unsigned a = *x, b = *y;
        if (lead[a]) {
            if (!lead[b]) return 1;
            int difference = static_cast<int>(a * 256 + x[1]) - static_cast<int>(b * 256 + y[1]);
            if (difference != 0) return difference;
            if (x[1] == 0) return 0;
            x += 2;
            y += 2;
        } else if (lead[b]) {
            return -1;
        } else {
            a = fold[a];
            b = fold[b];
            if (a != b) return static_cast<int>(a) - static_cast<int>(b);
            if (a == 0) return 0;
            ++x;
            ++y;
        }
    }
    return 0;
}

std::uint64_t key_prefix(const unsigned char* text, std::int64_t length) {
    if (length <= state.sort_start_column) return 0;
    const unsigned char* code = KEY_TABLES.code[state.double_byte][state.case_mode];
    const bool* lead = KEY_TABLES.lead[state.double_byte];
    const unsigned char* key = text + state.sort_start_column;
    std::uint64_t prefix = LONG_LINE;
    int shift = 48;  // seven bytes below the long-line mark
    for (std::int64_t budget = key_budget(); budget > 0 && shift >= 0; --budget) {
        unsigned c = key[0];
        if (code[c] == 0) break;  // NUL: the key ends
        prefix |= std::uint64_t(code[c]) << shift;
        shift -= 8;
        if (!lead[c]) {
            ++key;
            continue;
        }
        // The second byte of a double-byte character orders as it is.
        if (shift < 0 || key[1] == 0) break;
        prefix |= std::uint64_t(key[1]) << shift;
        shift -= 8;
        key += 2;
    }
    return prefix;
}

std::int64_t truncated_length(const unsigned char* text, std::int64_t length, std::int64_t column) {
    if (length <= column) return length;
    if (!state.double_byte) return utf8_cut(text, column);
    std::int64_t cut = 0;
    while (cut < column) cut += plat::is_shift_jis_lead(text[cut]) ? 2 : 1;
    return cut > column ? cut - 2 : cut;
}

void sort_and_output(LineEntry* index, std::int64_t count, plat::File& source) {
    plat::FileReader reader;
    reader.attach(source);
    // B = the square root of N, truncated: B * B <= N, so with
    // ceil(N / B) lines a block no block is empty and only the last is short.
    auto block_count = static_cast<std::int64_t>(std::sqrt(static_cast<double>(count)));
    while (block_count > 1 && block_count > count / block_count) --block_count;
    while ((block_count + 1) <= count / (block_count + 1)) ++block_count;
    auto blocks = allocate_array<BlockEntry>(static_cast<std::uint64_t>(block_count));
    if (!blocks) {
        fail(EXIT_NO_MEMORY, MSG_BLOCK_TABLE_MEMORY);
        return;
    }
    const std::int64_t per_block = (count + block_count - 1) / block_count;
    for (std::int64_t i = 0; i < block_count; ++i) {
        BlockEntry& block = blocks[i];
        block.first_line = i * per_block;
        block.line_count = std::min(per_block, count - block.first_line);
        block.last_line = block.first_line + block.line_count - 1;
    }
    if (primary_phase(index, blocks.get(), block_count, reader))
        secondary_phase(index, blocks.get(), block_count, count, reader);
}

}  // namespace tolven
