#include "kesto/delete.h"

#include <cstdint>
#include <string>

#include "kesto/console.h"
#include "kesto/options.h"
#include "kesto/verify.h"
#include "kesto/walker.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/output.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_DELETE_FILE = {"delete file      ", "削除ファイル     "};
const Message MSG_DELETE_DIRECTORY = {"delete directory ", "削除ディレクトリ "};
const Message MSG_VERIFY_FILE = {"  Verify file ", "  照合ファイル"};
const Message MSG_NOT_FOUND = {"is not found.", "が見つかりません."};
const Message MSG_SIZE_DIFFERENT = {"size is different.", "サイズが違います."};
const Message MSG_VERIFY = {"  Verify ", "  照合"};
const Message MSG_DIFFERENT = {"different.", "失敗."};
const Message MSG_VERIFY_DONE = {"  Verify done.", "  照合成功."};
const Message MSG_CHANGE_DIRECTORY_FAILED = {"\nChange directory %s attributes failed!",
                                             "\nディレクトリ%sの属性変更でエラーが発生しました!"};
const Message MSG_DELETE_DIRECTORY_FAILED = {"\nDelete directory %s failed!",
                                             "\nディレクトリ%sの削除でエラーが発生しました!"};
const Message MSG_CHANGE_FILE_FAILED = {"\nChagne file %s attributes failed!",
                                        "\nファイル%sの属性変更でエラーが発生しました!"};
const Message MSG_DELETE_FILE_FAILED = {"\nDelete file %s failed!", "\nファイル%sの削除でエラーが発生しました!"};

// Read-only, hidden and system: what may stand in the way of a removal.
constexpr std::uint32_t PROTECTING_ATTRIBUTES = plat::ATTR_READONLY | plat::ATTR_HIDDEN | plat::ATTR_SYSTEM;

// Clears every attribute of the entry name of directory when one of them
// may prevent its removal; false when that failed. Attributes that cannot
// be read are left to the removal to report.
bool clear_protection(const plat::Directory& directory, const char* name) {
    std::uint32_t attributes = 0;
    if (!plat::get_attributes(directory, name, attributes) || !(attributes & PROTECTING_ATTRIBUTES)) return true;
    return plat::set_attributes(directory, name, 0);
}

// The current entry's name in its level's directory.
const char* entry_name() { return current_level().find_data.long_name.c_str(); }

// An entry that could not be deleted: with /E the line ends and the walk
// goes on, else it stops.
int entry_failed() {
    if (!state.options.continue_on_error) return 0;
    plat::std_out().text("\n");
    return 1;
}

// What the V of /RV found.
enum class Verdict { keep, stop, verified };

// A verdict that keeps the file: lead, the verdict reversed, the line end.
Verdict keep_file(const Message& lead, const Message& verdict) {
    plat::std_out().print(lead);
    print_reversed(1, verdict);
    plat::std_out().text("\n");
    return Verdict::keep;
}

// True when the source is still as the walk found it. The compare covers
// the size found then; a file written to since (while the prompt waited, or
// during the compare) may hold bytes the compare never saw.
bool source_unchanged() {
    const plat::FindRecord& found = current_level().find_data;
    const char* path = walker.entry_long_path.c_str();
    plat::File file;
    plat::FileTime creation, access, write;
    return file.open(path, plat::OpenMode::read) && file.size() == static_cast<std::int64_t>(found.size) &&
           plat::get_file_times(path, creation, access, write) && write == found.last_write_time;
}

// /RV: the file may go only when its destination holds the same bytes.
Verdict verify_before_delete() {
    if (!build_dest_path()) return Verdict::keep;
    if (!probe_dest(0)) return keep_file(MSG_VERIFY_FILE, MSG_NOT_FOUND);
    if (current_level().find_data.size != walker.dest_find_data.size)
        return keep_file(MSG_VERIFY_FILE, MSG_SIZE_DIFFERENT);
    // The very same file reached by another path would be compared with
    // itself and then lost.
    if (destination_is_source(true)) return Verdict::keep;
    switch (compare_files(false)) {
    case 1: break;
    case 0: return keep_file(MSG_VERIFY, MSG_DIFFERENT);
    default: return Verdict::stop;  // an unreadable file or ESC stops the walk even with /E
    }
    if (!source_unchanged()) return keep_file(MSG_VERIFY, MSG_DIFFERENT);
    plat::std_out().print(MSG_VERIFY_DONE);
    return Verdict::verified;
}

}  // namespace

int delete_entry() {
    OperationOptions& o = state.options;
    ++state.pause_counter;
    plat::Output& out = plat::std_out();
    const bool directory = (current_level().find_data.attributes & plat::ATTR_DIRECTORY) != 0;
    const std::string& path = (o.name_display & 1) ? walker.entry_long_path : walker.entry_short_path;
    out.print(directory ? MSG_DELETE_DIRECTORY : MSG_DELETE_FILE);
    out.printf("%s", path.c_str());
    if ((o.operation_mode & MODE_OPERATION) == MODE_DELETE && o.confirm_each) {
        out.flush();  // the prompt goes to standard error, behind the line
        const int answer = ask_confirm(PROMPT_DELETE);
        if (answer <= 0) {
            out.text("\n");
            return answer < 0 ? 0 : 1;
        }
    }
    if (directory) {
        const int removed = remove_directory(path.c_str());
        if (removed == 0) return entry_failed();
        if (removed == 1) --current_level().remaining_entries;
        out.text("\n");
        return 1;
    }
    const bool verifying = (o.operation_mode & MODE_FLAG_VERIFY) != 0;
    if (verifying) {
        const Verdict verdict = verify_before_delete();
        if (verdict != Verdict::verified) return verdict == Verdict::keep ? 1 : 0;
    }
    if (!remove_entry_file(path.c_str())) return entry_failed();
    --current_level().remaining_entries;
    if (verifying) ++state.verified_file_count;
    out.text("\n");
    return 1;
}

bool remove_file(const plat::Directory& directory, const char* name, const char* shown) {
    if (!clear_protection(directory, name)) {
        print_reversed(1, MSG_CHANGE_FILE_FAILED, shown);
        return false;
    }
    if (!plat::delete_file(directory, name)) {
        print_reversed(1, MSG_DELETE_FILE_FAILED, shown);
        return false;
    }
    return true;
}

bool remove_entry_file(const char* shown) { return remove_file(current_level().directory, entry_name(), shown); }

int remove_directory(const char* shown) {
    const OperationOptions& o = state.options;
    const int failure = o.confirm_each && (o.selection_flags & SELECT_SOURCE_DIRECTORY) ? 0 : -1;
    const plat::Directory& directory = current_level().directory;
    if (!clear_protection(directory, entry_name())) {
        print_reversed(1, MSG_CHANGE_DIRECTORY_FAILED, shown);
        return failure;
    }
    const bool link = (current_level().find_data.attributes & plat::ATTR_REPARSE_POINT) != 0;
    if (!plat::remove_directory(directory, entry_name(), link)) {
        print_reversed(1, MSG_DELETE_DIRECTORY_FAILED, shown);
        return failure;
    }
    return 1;
}

}  // namespace kesto
