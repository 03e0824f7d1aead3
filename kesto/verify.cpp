#include "kesto/verify.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "kesto/console.h"
#include "kesto/options.h"
#include "kesto/progress.h"
#include "kesto/walker.h"
#include "kesto/work_ahead.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/output.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_VERIFY_FILE = {"Verify file      %s ", "照合ファイル     %s "};
const Message MSG_VERIFY_DIRECTORY = {"Verify directory %s ", "照合ディレクトリ %s "};
const Message MSG_NOT_FOUND = {"is not found.", "が見つかりません."};
const Message MSG_EXISTS = {"is exist.\n", "は有ります.\n"};
const Message MSG_ATTRIBUTES_SAME = {"attribute is same.\n", "属性は同じです.\n"};
const Message MSG_ATTRIBUTES_DIFFERENT = {"%s are different.", "%sが違います."};
const Message MSG_SAME = {"is same.\n", "は同じです.\n"};
const Message MSG_DIFFERENT = {"is different.", "が違います."};
const Message MSG_FIELDS_DIFFERENT = {"%s%s%s are different.", "%s%s%sが違います."};
const Message WORD_SIZE = {"size,", "サイズ"};
const Message WORD_DATE = {"date,", "日付"};
const Message WORD_ATTRIBUTES = {"attrib:", "属性"};

// The verify operation passes "\n" as the prefix: its own messages are these
// with a leading line end.
const Message MSG_CANNOT_OPEN_SOURCE = {"%sCannot open source file %s!(%d/0x%lX)",
                                        "%s読出ファイル%sをオープンできません!(%d/0x%lX)"};
const Message MSG_CANNOT_OPEN_DESTINATION = {"%sCannot open destination file %s!(%d/0x%lX)",
                                             "%s照合ファイル%sをオープンできません!(%d/0x%lX)"};
const Message MSG_READ_SOURCE_FAILED = {"%sRead source file %s failed!", "%sファイル%sの読出でエラーが発生しました!"};
const Message MSG_READ_DESTINATION_FAILED = {"%sRead destination file %s failed!",
                                             "%sファイル%sの読出しでエラーが発生しました!"};
const Message MSG_CLOSE_DESTINATION_FAILED = {"%sClose destination file %s failed!",
                                              "%s照合ファイル%sのクローズでエラーが発生しました!"};
const Message MSG_CLOSE_SOURCE_FAILED = {"%sClose source file %s failed!",
                                         "%s読出ファイル%sのクローズでエラーが発生しました!"};

// Attributes the verify compares at most: archive, directory, system,
// hidden, read-only.
constexpr std::uint32_t VERIFY_ATTRIBUTES = 0x37;
// Last-write times this close (100 ns units) are equal under /V2.
constexpr std::uint64_t TWO_SECONDS = 20000000;

enum class Outcome { equal, different, failed, aborted };

// Who runs the content comparison: the verify operation reports 100% at a
// difference too; the copy's and the delete's V put a blank in front of the
// progress and report 100% only at the end.
enum class Caller { verify, compare };

// The verify operation shows a file's header only in front of its first
// verdict or message, unless it was shown at once.
bool header_pending = false;

void show_pending_header() {
    if (!header_pending) return;
    header_pending = false;
    plat::std_out().print(MSG_VERIFY_FILE, walker.dest_path.c_str());
}

void report_error(const Message& message, const char* prefix, const char* path) {
    show_pending_header();
    print_reversed(1, message, prefix, path);
}

void report_open_error(const Message& message, const char* prefix, const char* path) {
    const int error = plat::last_error();
    show_pending_header();
    print_reversed(1, message, prefix, path, error, static_cast<unsigned long>(error));
}

enum class CompareEnd { equal, different, read_source, read_destination, stopped };

// Files from this size on are compared through maps of both, without
// copying their bytes into buffers: smaller ones cost less to read than to
// map.
constexpr std::uint64_t MAPPED_COMPARE_MIN = 16 * TRANSFER_BUFFER_SIZE;

// Compares the first total bytes of two files block by block, through maps
// of both or through two buffers of TRANSFER_BUFFER_SIZE, with progress
// reports when progress is given; stop() is asked after each block.
template <typename Stop>
CompareEnd compare_data(plat::File& source, plat::File& destination, std::uint64_t total, unsigned char* source_block,
                        unsigned char* dest_block, ProgressReport* progress, Stop stop) {
    plat::MappedPair maps;
    bool mapped = total >= MAPPED_COMPARE_MIN && maps.map(source, destination, total);
    for (std::uint64_t remaining = total; remaining > 0;) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, TRANSFER_BUFFER_SIZE));
        const std::uint64_t offset = total - remaining;
        int same = mapped ? maps.compare(offset, chunk) : -1;
        if (same < 0 && mapped) {
            // A file shrank under its map: reading from here on tells which.
            mapped = false;
            if (!source.seek(static_cast<std::int64_t>(offset))) return CompareEnd::read_source;
            if (!destination.seek(static_cast<std::int64_t>(offset))) return CompareEnd::read_destination;
        }
        if (same < 0) {
            const auto expected = static_cast<std::int64_t>(chunk);
            if (source.read(source_block, chunk) != expected) return CompareEnd::read_source;
            if (destination.read(dest_block, chunk) != expected) return CompareEnd::read_destination;
            same = std::memcmp(source_block, dest_block, chunk) == 0;
        }
        if (!same) return CompareEnd::different;
        remaining -= chunk;
        if (progress) progress->update(remaining);
        if (stop()) return CompareEnd::stopped;
    }
    return CompareEnd::equal;
}

// Compares the current entry with destination_file block by block over the
// entry's size; messages name walker.dest_path.
Outcome compare_contents(const char* destination_file, const char* prefix, Caller caller) {
    const OperationOptions& o = state.options;
    const char* source_path = walker.entry_long_path.c_str();
    const char* dest_name = walker.dest_path.c_str();
    plat::File source, destination;
    if (!source.open(source_path, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
        report_open_error(MSG_CANNOT_OPEN_SOURCE, prefix, source_path);
        return Outcome::failed;
    }
    const std::uint64_t total = current_level().find_data.size;
    Outcome outcome = Outcome::equal;
    if (!destination.open(destination_file, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
        report_open_error(MSG_CANNOT_OPEN_DESTINATION, prefix, dest_name);
        outcome = Outcome::failed;
    } else if (o.show_progress && caller == Caller::compare) {
        plat::std_out().text(" ");
    }
    ProgressReport progress(1, total);
    if (outcome == Outcome::equal) {
        switch (compare_data(source, destination, total, state.transfer_buffer.get(), state.compare_buffer.get(),
                             o.show_progress ? &progress : nullptr,
                             [] { return check_user_break(nullptr, false) != 0; })) {
        case CompareEnd::equal: break;
        case CompareEnd::different: outcome = Outcome::different; break;
        case CompareEnd::stopped: outcome = Outcome::aborted; break;
        case CompareEnd::read_source:
            report_error(MSG_READ_SOURCE_FAILED, prefix, source_path);
            outcome = Outcome::failed;
            break;
        case CompareEnd::read_destination:
            report_error(MSG_READ_DESTINATION_FAILED, prefix, dest_name);
            outcome = Outcome::failed;
            break;
        }
    }
    if (o.show_progress && (outcome == Outcome::equal || (outcome == Outcome::different && caller == Caller::verify))) {
        show_pending_header();
        progress.print_done(" ");
    }
    // A failed close makes the result an error, whatever the data said.
    const Outcome closed = outcome == Outcome::aborted ? outcome : Outcome::failed;
    if (!destination.close()) {
        report_error(MSG_CLOSE_DESTINATION_FAILED, prefix, dest_name);
        outcome = closed;
    }
    if (!source.close()) {
        report_error(MSG_CLOSE_SOURCE_FAILED, prefix, source_path);
        outcome = closed;
    }
    return outcome;
}

// "attrib:" and one letter or "-" for each differing bit of archive,
// system, hidden and read-only.
std::string attribute_difference_text(std::uint32_t diff) {
    std::string text = plat::message_text(WORD_ATTRIBUTES);
    text += (diff & plat::ATTR_ARCHIVE) ? 'a' : '-';
    text += (diff & plat::ATTR_SYSTEM) ? 's' : '-';
    text += (diff & plat::ATTR_HIDDEN) ? 'h' : '-';
    text += (diff & plat::ATTR_READONLY) ? 'r' : '-';
    return text;
}

// Ends a discord line: the verdict reversed, the line end, the beeps; with
// V the /M pause counts these lines.
void report_discord(const Message& verdict, const char* argument = "", const char* second = "",
                    const char* third = "") {
    show_pending_header();
    print_reversed(1, verdict, argument, second, third);
    plat::std_out().text("\n");
    beep_discord();
    if (!state.options.verify_show_all) ++state.pause_counter;
}

// What /V compares, fixed from the options at every entry.
struct ComparisonSet {
    std::uint32_t attribute_mask;
    bool size;
    bool date;
};

ComparisonSet comparison_set() {
    const OperationOptions& o = state.options;
    if (o.verify_attr_mask == 0 && !o.verify_size && !o.verify_date) return {VERIFY_ATTRIBUTES, true, true};
    return {VERIFY_ATTRIBUTES & o.verify_attr_mask, o.verify_size, o.verify_date};
}

std::uint32_t attribute_difference(const ComparisonSet& set) {
    return (current_level().find_data.attributes ^ walker.dest_find_data.attributes) & set.attribute_mask;
}

void verify_directory(const ComparisonSet& set) {
    const char* dest = walker.dest_path.c_str();
    const bool found = probe_dest(plat::ATTR_DIRECTORY) != 0;
    const std::uint32_t diff = found && !state.options.compare_content ? attribute_difference(set) : 0;
    // A directory that is there and the same shows only when all are shown.
    if (found && diff == 0 && !state.options.verify_show_all) return;
    plat::std_out().print(MSG_VERIFY_DIRECTORY, dest);
    if (!found)
        report_discord(MSG_NOT_FOUND);
    else if (diff != 0)
        report_discord(MSG_ATTRIBUTES_DIFFERENT, attribute_difference_text(diff).c_str());
    else
        plat::std_out().print(state.options.compare_content ? MSG_EXISTS : MSG_ATTRIBUTES_SAME);
}

// Attributes, size and date of a file whose destination was found.
void verify_file_fields(const ComparisonSet& set) {
    const plat::FindRecord& source = current_level().find_data;
    const plat::FindRecord& dest = walker.dest_find_data;
    std::string size_word, date_word, attribute_text;
    if (set.size && source.size != dest.size) size_word = plat::message_text(WORD_SIZE);
    if (set.date) {
        const std::uint64_t a = source.last_write_time, b = dest.last_write_time;
        const bool equal = state.options.two_second_tolerance ? (a > b ? a - b : b - a) < TWO_SECONDS : a == b;
        if (!equal) date_word = plat::message_text(WORD_DATE);
    }
    const std::uint32_t diff = attribute_difference(set);
    if (diff != 0) attribute_text = attribute_difference_text(diff);
    if (size_word.empty() && date_word.empty() && attribute_text.empty()) {
        if (state.options.verify_show_all) plat::std_out().print(MSG_SAME);
        ++state.verified_file_count;
        return;
    }
    report_discord(MSG_FIELDS_DIFFERENT, size_word.c_str(), date_word.c_str(), attribute_text.c_str());
}

// The contents of a file whose destination was found, compared here or,
// when prepared is given, by a worker ahead of the walk: 0 stops the walk.
int verify_file_contents(const AheadItem* prepared) {
    const OperationOptions& o = state.options;
    if (current_level().find_data.size != walker.dest_find_data.size) {
        report_discord(MSG_DIFFERENT);
        return 1;
    }
    const Outcome outcome = !prepared           ? compare_contents(walker.dest_path.c_str(), "\n", Caller::verify)
                            : prepared->outcome ? Outcome::equal
                                                : Outcome::different;
    switch (outcome) {
    case Outcome::equal:
        if (o.verify_show_all || o.show_progress) {
            show_pending_header();
            plat::std_out().print(MSG_SAME);
        }
        ++state.verified_file_count;
        return 1;
    case Outcome::different: report_discord(MSG_DIFFERENT); return 1;
    case Outcome::aborted: return 0;
    case Outcome::failed: break;
    }
    if (!o.continue_on_error) return 0;
    plat::std_out().text("\n");
    return 1;
}

// On a worker: the contents of a file and its destination, compared as
// verify_file_contents compares them; done only when the comparison came to
// a verdict (outcome 1 equal, 0 different).
void compare_ahead(AheadItem& item, const plat::Directory& /*destination*/, unsigned char* scratch,
                   const std::function<bool()>& stop) {
    plat::File source, destination;
    if (!source.open(item.source_path.c_str(), plat::OpenMode::read, plat::OPEN_SEQUENTIAL) ||
        !destination.open(item.dest_path.c_str(), plat::OpenMode::read, plat::OPEN_SEQUENTIAL))
        return;
    const CompareEnd end =
        compare_data(source, destination, item.entry.size, scratch, scratch + TRANSFER_BUFFER_SIZE, nullptr, stop);
    const bool closed = destination.close();
    if (!source.close() || !closed || (end != CompareEnd::equal && end != CompareEnd::different)) return;
    item.done = true;
    item.outcome = end == CompareEnd::equal ? 1 : 0;
}

const AheadWork COMPARE_AHEAD = {compare_ahead, nothing_to_discard, DestinationUse::read};

}  // namespace

int verify_entry() {
    const OperationOptions& o = state.options;
    if (o.verify_show_all) ++state.pause_counter;
    const ComparisonSet set = comparison_set();
    if (!build_dest_path()) return 1;
    if (current_level().find_data.attributes & plat::ATTR_DIRECTORY) {
        verify_directory(set);
        return 1;
    }
    AheadItem prepared;
    const bool have = claim_work_ahead(prepared);
    if (state.aborted) return 0;
    // The contents of the next files are compared while this one's are.
    if (o.compare_content && !o.show_progress) start_work_ahead(COMPARE_AHEAD);
    header_pending = true;
    if (o.verify_show_all || (o.show_progress && o.compare_content)) show_pending_header();
    int result = 1;
    if (!probe_dest(0))
        report_discord(MSG_NOT_FOUND);
    else if (!o.compare_content)
        verify_file_fields(set);
    else
        result = verify_file_contents(have ? &prepared : nullptr);
    header_pending = false;
    return result;
}

int compare_files(bool newline_prefix, const char* destination_file) {
    header_pending = false;
    const Outcome outcome = compare_contents(destination_file ? destination_file : walker.dest_path.c_str(),
                                             newline_prefix ? "\n" : "", Caller::compare);
    switch (outcome) {
    case Outcome::equal: return 1;
    case Outcome::different: return 0;
    case Outcome::failed:
    case Outcome::aborted: break;
    }
    return -1;
}

}  // namespace kesto
