// Copy, update and move. A file is copied into a new file beside its
// destination, under a name of its own; only when that copy is complete,
// stamped, has its attributes and (with V) compares equal does it take the
// destination's name, in one rename. Whatever fails before, the old
// destination stays as it was and the new file is removed.
#include "kesto/copy.h"

#include <functional>
#include <optional>
#include <string>

#include "kesto/console.h"
#include "kesto/delete.h"
#include "kesto/options.h"
#include "kesto/progress.h"
#include "kesto/verify.h"
#include "kesto/walker.h"
#include "kesto/work_ahead.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/time.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_CREATE_DIRECTORY = {"Create directory %s", "作成ディレクトリ %s"};
const Message MSG_CANNOT_CREATE_DIRECTORY = {"\nCannot create directory!(%ld/0x%lX)",
                                             "\nディレクトリが作成できません!(%ld/0x%lX)"};
const Message MSG_CHANGE_ATTRIBUTES_FAILED = {"\nChange directory attributes failed!",
                                              "\nディレクトリの属性変更でエラーが発生しました!"};
const Message MSG_GET_DIRECTORY_ATTRIBUTES = {"\nGet directory %s attributes failed!",
                                              "\nディレクトリ%sの属性取得でエラーが発生しました!"};
const Message MSG_MOVE_FAILED = {"\nMove file %s to %s failed!", "\nファイル%sの%sへ移動でエラーが発生しました!"};
const Message MSG_OPEN_SOURCE = {"\nCannot open source file %s!(%d/0x%lX)",
                                 "\n読出ファイル%sをオープンできません!(%d/0x%lX)"};
const Message MSG_OPEN_DESTINATION = {"\nCannot open destination file %s!(%d/0x%lX)",
                                      "\n書込ファイル%sをオープンできません!(%d/0x%lX)"};
const Message MSG_READ_FAILED = {"\nRead source file %s failed!", "\nファイル%sの読出でエラーが発生しました!"};
const Message MSG_WRITE_FAILED = {"\nWrite destination file %s failed!", "\nファイル%sの書込でエラーが発生しました!"};
const Message MSG_SEEK_FAILED = {"\nSeek source file %s failed!", "\nファイル%sのシークでエラーが発生しました!"};
const Message MSG_SET_DATE_FAILED = {"\nChange destination file %s date failed!",
                                     "\n書込ファイル%sの日付変更でエラーが発生しました!"};
const Message MSG_GET_DATE_FAILED = {"Get destination file %s date failed!\n",
                                     "書込ファイル%sの日付取得でエラーが発生しました!\n"};
const Message MSG_CLOSE_DESTINATION = {"\nClose destination file %s failed!",
                                       "\n書込ファイル%sのクローズでエラーが発生しました!"};
const Message MSG_SET_ATTRIBUTES_FAILED = {"\nChange destination file %s attributes failed!",
                                           "\n書込ファイル%sの属性変更でエラーが発生しました!"};
const Message MSG_CLOSE_SOURCE = {"\nClose source file %s failed!",
                                  "\n読出ファイル%sのクローズでエラーが発生しました!"};
// The old destination could not be replaced: it could not be deleted.
const Message MSG_REPLACE_FAILED = {"\nDelete file %s failed!", "\nファイル%sの削除でエラーが発生しました!"};
const Message LABEL_UPDATE = {"update file      ", "更新ファイル     "};
const Message LABEL_CREATE = {"create file      ", "作成ファイル     "};
const Message LABEL_MOVE = {"move file        ", "移動ファイル     "};
const Message LABEL_VERIFY = {"  verify", "  照合"};
const Message LABEL_DONE = {" done", "正常"};
const Message LABEL_DIFFERENT = {"different", "失敗"};
const Message LABEL_DELETE_SOURCE = {"  delete source file", "  ソースファイル削除"};

constexpr plat::FileTime UNITS_PER_SECOND = 10000000;  // 100 ns units
constexpr plat::FileTime UPDATE_TOLERANCE = 2 * UNITS_PER_SECOND;

// Whether the destination's file system keeps even seconds only (1), which
// the first copied file of the run tells; -1 until then.
int destination_rounds_odd_seconds = -1;

// The entry failed: with /E its line ends and the walk goes on.
int entry_failed() {
    if (!state.options.continue_on_error) return 0;
    plat::std_out().text("\n");
    return 1;
}

void report_with_error(const Message& message, const char* path) {
    const int error = plat::last_error();
    print_reversed(1, message, path, error, static_cast<unsigned long>(error));
}

// The destination directory that the last file went into: the next file
// of the same directory needs no look at its path.
std::string known_directory;

// Creates the directories of dest_path below the destination prefix that
// do not exist yet, each from the source directory at the same place.
bool create_missing_directories() {
    std::string& dest = walker.dest_path;
    const std::string full = dest;
    const std::size_t parent = last_component_offset(full);
    if (parent <= walker.dest_prefix_length || full.compare(0, parent, known_directory) == 0) return true;
    const std::size_t source_prefix = current_level().prefix_length;
    bool created = true;
    for (std::size_t i = walker.dest_prefix_length; created && i < full.size();) {
        const std::size_t length = plat::char_length(full.c_str() + i);
        if (length == 1 && plat::is_path_separator(full[i])) {
            dest.assign(full, 0, i);
            if (!probe_dest(plat::ATTR_DIRECTORY)) {
                const std::string model =
                    walker.entry_long_path.substr(0, i - walker.dest_prefix_length + source_prefix);
                std::uint32_t attributes = 0;
                if (!plat::get_attributes(model.c_str(), attributes)) {
                    print_reversed(1, MSG_GET_DIRECTORY_ATTRIBUTES, model.c_str());
                    created = false;
                } else {
                    created = create_directory(model.c_str(), attributes, false);
                }
            }
        }
        i += length;
    }
    dest = full;
    if (created) known_directory.assign(full, 0, parent);
    return created;
}

// Stamps a new copy with its source's three times; on a file system that
// keeps even seconds only, an odd last-write second is raised to the next
// even one rather than cut to the one before, so that the copy is never
// older than its source.
bool stamp_copy(plat::File& file, const plat::FindRecord& source) {
    plat::FileTime write = source.last_write_time;
    if (destination_rounds_odd_seconds == 1 && write / UNITS_PER_SECOND % 2 == 1)
        write = (write / UNITS_PER_SECOND + 1) * UNITS_PER_SECOND;
    return file.set_times(&source.creation_time, &source.last_access_time, &write);
}

// Stamps the new destination file (name) with the source's times, finding
// out first, at the first copy of the run, whether the destination keeps odd
// seconds.
bool set_destination_times(plat::File& file, const std::string& name) {
    const char* shown = walker.dest_path.c_str();
    if (destination_rounds_odd_seconds < 0) {
        const plat::CalendarTime probe{2000, 1, 1, 1, 1, 1, 1};  // 2000-01-01 01:01:01.001
        plat::FileTime probe_time = 0;
        plat::utc_to_file_time(probe, probe_time);
        if (!file.set_times(nullptr, nullptr, &probe_time)) {
            print_reversed(1, MSG_SET_DATE_FAILED, shown);
            return false;
        }
        plat::FileTime creation, access, write;
        plat::CalendarTime back;
        if (!plat::get_file_times(dest_directory_entry(name).c_str(), creation, access, write) ||
            !plat::file_time_to_utc(write, back)) {
            print_reversed(1, MSG_GET_DATE_FAILED, shown);
            return false;
        }
        destination_rounds_odd_seconds = back.second == 2 ? 1 : 0;
    }
    if (!stamp_copy(file, current_level().find_data)) {
        print_reversed(1, MSG_SET_DATE_FAILED, shown);
        return false;
    }
    return true;
}

enum class CopyEnd { complete, read, write, seek, stopped };

// Copies total bytes of the source's data piece by piece (holes stay holes)
// into a new file through buffer, following a source that grows meanwhile,
// with progress reports when progress is given; stop() is asked after each
// piece.
template <typename Stop>
CopyEnd copy_data(plat::File& source, plat::File& destination, std::uint64_t total, unsigned char* buffer,
                  ProgressReport* progress, Stop stop) {
    std::uint64_t remaining = total;
    plat::DataCopy copy(source, destination, buffer, TRANSFER_BUFFER_SIZE);
    for (;;) {
        if (remaining > 0) {
            const std::int64_t done = copy.next(remaining);
            if (done < 0) return copy.failure() == plat::CopyFailure::read ? CopyEnd::read : CopyEnd::write;
            remaining -= static_cast<std::uint64_t>(done);
        }
        if (progress) progress->update(remaining);
        if (stop()) return CopyEnd::stopped;
        if (remaining > 0) continue;
        // The end: unless the source has grown meanwhile.
        const std::int64_t end = source.size();
        if (end < 0) return CopyEnd::seek;
        if (static_cast<std::uint64_t>(end) <= total) return CopyEnd::complete;
        if (!source.seek(static_cast<std::int64_t>(total))) return CopyEnd::seek;
        remaining = static_cast<std::uint64_t>(end) - total;
        total = static_cast<std::uint64_t>(end);
        if (progress) progress->grow(remaining);
    }
}

// The current entry's data into the new file, with the progress of /P;
// false (reported) on an error or an abort.
bool transfer(plat::File& source, plat::File& destination) {
    const char* source_path = walker.entry_long_path.c_str();
    std::optional<ProgressReport> progress;
    const std::uint64_t total = current_level().find_data.size;
    if (state.options.show_progress) {
        progress.emplace(1, total);
        plat::std_out().text(" ");
    }
    switch (copy_data(source, destination, total, state.transfer_buffer.get(), progress ? &*progress : nullptr,
                      [] { return check_user_break(nullptr, false) != 0; })) {
    case CopyEnd::complete: break;
    case CopyEnd::read: print_reversed(1, MSG_READ_FAILED, source_path); return false;
    case CopyEnd::write: print_reversed(1, MSG_WRITE_FAILED, walker.dest_path.c_str()); return false;
    case CopyEnd::seek: print_reversed(1, MSG_SEEK_FAILED, source_path); return false;
    case CopyEnd::stopped: return false;
    }
    if (progress) progress->print_done("");
    return true;
}

// The new file's data on the disk, where it must be (reported).
bool flushed(plat::File& destination, bool must) {
    if (!must || destination.sync()) return true;
    print_reversed(1, MSG_WRITE_FAILED, walker.dest_path.c_str());
    return false;
}

// Removes a new destination file that is not to take the destination's
// place.
void discard(const std::string& name) {
    remove_file(walker.dest_directory, name.c_str(), dest_directory_entry(name).c_str());
}

// Copies the source into a new file beside dest_path (its name in the
// destination directory in name), with the source's times and attributes.
// A copy that will replace a file (replacing), or whose source will be
// deleted (R), has its data on the disk before the rename puts it in place,
// so that no crash leaves an empty file where the old one or the source
// was. False (reported) when the copy is not complete; no new file is then
// left. ticket: of remove_at_termination, for the new file.
bool copy_file_data(std::string& name, bool replacing, int& ticket) {
    const OperationOptions& o = state.options;
    const char* source_path = walker.entry_long_path.c_str();
    const char* shown = walker.dest_path.c_str();
    plat::File source;
    if (!source.open(source_path, plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) {
        report_with_error(MSG_OPEN_SOURCE, source_path);
        return false;
    }
    const unsigned hints = plat::OPEN_SEQUENTIAL | (o.write_through ? plat::OPEN_WRITE_THROUGH : 0u);
    plat::File destination;
    bool success = false;
    if (!open_dest_directory() ||
        !plat::open_replacement_file(destination, walker.dest_directory, dest_name(), hints, &source, name)) {
        report_with_error(MSG_OPEN_DESTINATION, shown);
    } else {
        ticket = plat::remove_at_termination(dest_directory_entry(name).c_str());
        const bool keeps_the_only_copy = replacing || (o.operation_mode & MODE_FLAG_REMOVE_SOURCE);
        success = transfer(source, destination) && flushed(destination, keeps_the_only_copy && !o.write_through) &&
                  set_destination_times(destination, name);
        if (!destination.close()) {
            print_reversed(1, MSG_CLOSE_DESTINATION, shown);
            success = false;
        }
        // The copy is a file of its own, never a link.
        const std::uint32_t attributes = current_level().find_data.attributes & ~plat::ATTR_REPARSE_POINT;
        if (success && !plat::set_copy_attributes(walker.dest_directory, name.c_str(), attributes)) {
            print_reversed(1, MSG_SET_ATTRIBUTES_FAILED, shown);
            success = false;
        }
        if (!success) discard(name);
    }
    if (!source.close()) {
        print_reversed(1, MSG_CLOSE_SOURCE, source_path);
        if (success) discard(name);
        success = false;
    }
    return success;
}

// After a complete copy into name: the compare (V), the new file in the
// destination's place, and the source's removal (R).
int finish_copy(const std::string& name) {
    const std::uint16_t mode = state.options.operation_mode;
    plat::Output& out = plat::std_out();
    if (mode & MODE_FLAG_VERIFY) {
        out.print(LABEL_VERIFY);
        const int same = compare_files(true, dest_directory_entry(name).c_str());
        if (same != 1) {
            if (same == 0) print_reversed(1, LABEL_DIFFERENT);
            discard(name);
            return entry_failed();
        }
        out.print(LABEL_DONE);
    }
    if (!plat::replace_file(walker.dest_directory, name.c_str(), walker.dest_directory, dest_name())) {
        print_reversed(1, MSG_REPLACE_FAILED, walker.dest_path.c_str());
        discard(name);
        return entry_failed();
    }
    if (mode & MODE_FLAG_REMOVE_SOURCE) {
        out.print(LABEL_DELETE_SOURCE);
        if (!remove_entry_file(walker.entry_long_path.c_str())) return entry_failed();
        --current_level().remaining_entries;
    }
    out.text("\n");
    return 1;
}

// M: the source takes the destination's name in one rename, replacing an
// old destination only when the rename succeeds.
int move_file(bool exists) {
    const char* from = walker.entry_long_path.c_str();
    const char* to = walker.dest_path.c_str();
    const plat::Directory& directory = current_level().directory;
    const char* name = current_level().find_data.long_name.c_str();
    if (!open_dest_directory() || !(exists ? plat::replace_file(directory, name, walker.dest_directory, dest_name())
                                           : plat::rename_path(directory, name, walker.dest_directory, dest_name()))) {
        print_reversed(1, MSG_MOVE_FAILED, from, to);
        return entry_failed();
    }
    --current_level().remaining_entries;
    plat::std_out().text("\n");
    return 1;
}

int copy_directory() {
    const OperationOptions& o = state.options;
    if (o.attr_none_mask & plat::ATTR_DIRECTORY) return 1;
    if (!build_dest_path() || probe_dest(plat::ATTR_DIRECTORY)) return 1;
    // Its contents will not be walked.
    if (walker.current_depth >= o.max_depth) return 1;
    if (!create_directory(walker.entry_long_path.c_str(), current_level().find_data.attributes, true))
        return entry_failed();
    return 1;
}

// A copy made ahead without a name takes the destination's name: 1 when
// it did, or entry_failed() (reported); -1, the copy dropped, when a file
// has taken that name since the destination was found free.
int name_copy_ahead(AheadItem& prepared) {
    const bool read_only = (prepared.entry.attributes & plat::ATTR_READONLY) != 0;
    const bool named = plat::name_unnamed_file(prepared.unnamed, walker.dest_directory, dest_name(), read_only);
    const bool closed = prepared.unnamed.close();
    prepared.done = false;
    if (!named) return -1;
    if (!closed) {
        print_reversed(1, MSG_CLOSE_DESTINATION, walker.dest_path.c_str());
        discard(dest_name());
        return entry_failed();
    }
    plat::std_out().text("\n");
    return 1;
}

// The file entry, with the copy a worker made ahead of the walk when there
// is one (prepared): it takes the place of the copy made here when the
// destination is new, and is marked used (done cleared).
int copy_file_to_dest(AheadItem* prepared) {
    const OperationOptions& o = state.options;
    const bool exists = probe_dest(0) == 1;
    if (exists && destination_is_source()) return 1;
    if (exists && (o.operation_mode & MODE_OPERATION) == MODE_UPDATE) {
        const plat::FileTime source = current_level().find_data.last_write_time;
        const plat::FileTime destination = walker.dest_find_data.last_write_time;
        if (o.two_second_tolerance ? source < destination + UPDATE_TOLERANCE : source <= destination) return 1;
    }
    const bool move = (o.operation_mode & MODE_FLAG_MOVE) != 0;
    plat::Output& out = plat::std_out();
    out.print(exists ? LABEL_UPDATE : move ? LABEL_MOVE : LABEL_CREATE);
    out.printf("%s", walker.dest_path.c_str());
    if (o.confirm_each) {
        out.flush();  // the line comes before the prompt on standard error
        const int answer = ask_confirm(exists ? PROMPT_UPDATE : PROMPT_CREATE);
        if (answer <= 0) {
            out.text("\n");
            return answer < 0 ? 0 : 1;
        }
    }
    if (!create_missing_directories()) return entry_failed();
    if (move) return move_file(exists);
    std::string name;
    int ticket = -1;
    bool copied = false;
    if (prepared && !exists && open_dest_directory()) {
        if (prepared->unnamed.is_open()) {
            const int placed = name_copy_ahead(*prepared);
            if (placed >= 0) return placed;
        } else {
            name = std::move(prepared->made);
            ticket = prepared->ticket;
            prepared->done = false;
            copied = true;
        }
    }
    if (!copied) copied = copy_file_data(name, exists, ticket);
    const int result = copied ? finish_copy(name) : entry_failed();
    // The new file has its place now, or is gone.
    plat::keep_at_termination(ticket);
    return result;
}

// Copies made ahead of the walk: new files of plain copies (no compare, no
// removal of the source, no progress), once the first copy of the run has
// shown how the destination keeps seconds.
bool copies_ahead() {
    const OperationOptions& o = state.options;
    return !(o.operation_mode & (MODE_FLAG_VERIFY | MODE_FLAG_REMOVE_SOURCE | MODE_FLAG_MOVE)) && !o.show_progress &&
           destination_rounds_odd_seconds >= 0;
}

// Removes, without a word, a copy made ahead that the walk does not use.
void discard_ahead(AheadItem& item, const plat::Directory& destination) {
    item.done = false;
    if (item.unnamed.is_open()) {
        item.unnamed.close();  // nothing of it is left
        return;
    }
    const char* name = item.made.c_str();
    if (item.entry.attributes & (plat::ATTR_READONLY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM))
        plat::set_attributes(destination, name, 0);
    plat::delete_file(destination, name);
    plat::keep_at_termination(item.ticket);
}

// On a worker: the copy of a file whose destination is new (its name was
// free when the worker began), as
// copy_file_data makes it: without a name where the system allows and no
// attribute but read-only is to be stored, else into a new file beside the
// destination.
void copy_ahead(AheadItem& item, const plat::Directory& destination, unsigned char* scratch,
                const std::function<bool()>& stop) {
    plat::File source, named;
    if (!source.open(item.source_path.c_str(), plat::OpenMode::read, plat::OPEN_SEQUENTIAL)) return;
    const unsigned hints = plat::OPEN_SEQUENTIAL | (state.options.write_through ? plat::OPEN_WRITE_THROUGH : 0u);
    // The copy is a file of its own, never a link.
    const std::uint32_t attributes = item.entry.attributes & ~plat::ATTR_REPARSE_POINT;
    const bool unnamed =
        (attributes & ~plat::ATTR_READONLY) == 0 && plat::open_unnamed_file(item.unnamed, destination, hints, &source);
    if (!unnamed) {
        if (!plat::open_replacement_file(named, destination, item.entry.long_name.c_str(), hints, &source, item.made))
            return;
        const std::string made_path = item.dest_path.substr(0, last_component_offset(item.dest_path)) + item.made;
        item.ticket = plat::remove_at_termination(made_path.c_str());
    }
    plat::File& copy = unnamed ? item.unnamed : named;
    bool complete = (unnamed || item.ticket >= 0) &&
                    copy_data(source, copy, item.entry.size, scratch, nullptr, stop) == CopyEnd::complete &&
                    stamp_copy(copy, item.entry);
    if (!unnamed) {
        complete = named.close() && complete;
        complete = complete && plat::set_copy_attributes(destination, item.made.c_str(), attributes);
    }
    complete = source.close() && complete;
    item.done = true;
    if (!complete) discard_ahead(item, destination);
}

const AheadWork COPY_AHEAD = {copy_ahead, discard_ahead, DestinationUse::write};

int copy_file() {
    if (!build_dest_path()) return 1;
    AheadItem prepared;
    const bool have = claim_work_ahead(prepared);
    if (state.aborted) return 0;
    // The next files are copied while this one is, once the first copy of
    // the run has shown how the destination keeps seconds.
    if (copies_ahead()) start_work_ahead(COPY_AHEAD);
    const int result = copy_file_to_dest(have ? &prepared : nullptr);
    if (prepared.done) discard_work_ahead(prepared);
    if (copies_ahead()) start_work_ahead(COPY_AHEAD);
    return result;
}

}  // namespace

bool create_directory(const char* model_path, std::uint32_t attributes, bool announce) {
    plat::Output& out = plat::std_out();
    const char* path = walker.dest_path.c_str();
    if (announce) out.print(MSG_CREATE_DIRECTORY, path);
    bool created = open_dest_directory() && plat::create_directory(walker.dest_directory, dest_name(), model_path);
    if (!created) {
        const long error = plat::last_error();
        print_reversed(1, MSG_CANNOT_CREATE_DIRECTORY, error, static_cast<unsigned long>(error));
    } else if (!plat::set_copy_attributes(walker.dest_directory, dest_name(), attributes)) {
        print_reversed(1, MSG_CHANGE_ATTRIBUTES_FAILED);
    }
    if (announce) out.text("\n");
    return created;
}

int copy_entry() {
    ++state.pause_counter;
    if (current_level().find_data.attributes & plat::ATTR_DIRECTORY) return copy_directory();
    return copy_file();
}

}  // namespace kesto
