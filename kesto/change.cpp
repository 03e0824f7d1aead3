#include "kesto/change.h"

#include "kesto/console.h"
#include "kesto/listing.h"
#include "kesto/options.h"
#include "kesto/walker.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/message.h"
#include "platform/output.h"
#include "platform/time.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_ATTRIBUTES_FAILED = {"Change file %s attributes failed!",
                                       "ファイル%sの属性変更でエラーが発生しました!"};
const Message MSG_CANNOT_OPEN = {"Cannot open file %s!(%d/0x%lX)", "ファイル%sをオープンできません!(%d/0x%lX)"};
const Message MSG_DATE_FAILED = {"Change file %s date failed!", "ファイル%sの日付変更でエラーが発生しました!"};
const Message MSG_CLOSE_FAILED = {"Close file %s failed!", "ファイル%sのクローズでエラーが発生しました!"};

// The path the entry is shown and changed under.
const char* entry_path() {
    return display_path(state.options.name_display, walker.entry_long_path.c_str(), walker.entry_short_path.c_str());
}

// Asks about the entry whose line was just begun, when confirm_each is set,
// and ends the line: 1 change it, 0 skip it, -1 stop.
int confirm_update() {
    plat::Output& out = plat::std_out();
    int answer = 1;
    if (state.options.confirm_each) {
        out.flush();  // the line stands in front of the prompt
        answer = ask_confirm(PROMPT_UPDATE);
    }
    out.text("\n");
    return answer;
}

// Sets the attributes of the current entry, through its level's directory;
// path is the one the message names.
bool set_attributes_of(const char* path, std::uint32_t attributes) {
    if (plat::set_attributes(current_level().directory, current_level().find_data.long_name.c_str(), attributes))
        return true;
    print_reversed(1, MSG_ATTRIBUTES_FAILED, path);
    return false;
}

}  // namespace

int change_attributes_entry() {
    ++state.pause_counter;
    const OperationOptions& o = state.options;
    const std::uint32_t attributes = current_level().find_data.attributes;
    const char* path = entry_path();
    plat::Output& out = plat::std_out();
    char* column = out.reserve(ATTRIBUTE_WIDTH);
    out.commit(static_cast<std::size_t>(print_attributes(column, attributes) - column));
    out.printf(" %s", path);
    const int answer = confirm_update();
    if (answer <= 0) return answer + 1;
    return set_attributes_of(path, (attributes & ~o.attr_remove_mask) | o.attr_add_mask) ? 1 : 0;
}

int change_date_entry() {
    ++state.pause_counter;
    const plat::FindRecord& entry = current_level().find_data;
    const char* path = entry_path();
    // The time being replaced, in full whatever /Y says.
    plat::CalendarTime old;
    plat::file_time_to_local(entry.last_write_time, old);
    plat::std_out().printf("%02d-%02d-%02d %02d:%02d:%02d.%03d %s", old.year, old.month, old.day, old.hour, old.minute,
                           old.second, old.millisecond, path);
    const int answer = confirm_update();
    if (answer <= 0) return answer + 1;

    // Where a read-only entry cannot be opened for writing, its read-only
    // bit is lifted first and returns afterwards, whatever happened between.
    // Elsewhere the entry is left exactly as it is.
    const bool read_only = (entry.attributes & plat::ATTR_READONLY) != 0 && plat::read_only_blocks_times();
    if (read_only && !set_attributes_of(path, entry.attributes & ~std::uint32_t{plat::ATTR_READONLY})) return 0;
    // A link found as one gives its time to what it leads to, as touch
    // does; an entry that has become a link since is refused.
    const unsigned failed =
        plat::set_last_write_time(current_level().directory, entry.long_name.c_str(), state.options.new_file_time,
                                  (entry.attributes & plat::ATTR_REPARSE_POINT) != 0);
    if (failed & plat::WRITE_TIME_OPEN_FAILED) {
        const int error = plat::last_error();
        print_reversed(1, MSG_CANNOT_OPEN, path, error, static_cast<unsigned long>(static_cast<unsigned>(error)));
    }
    if (failed & plat::WRITE_TIME_SET_FAILED) print_reversed(1, MSG_DATE_FAILED, path);
    if (failed & plat::WRITE_TIME_CLOSE_FAILED) print_reversed(1, MSG_CLOSE_FAILED, path);
    if (read_only && !set_attributes_of(path, entry.attributes)) return 0;
    return failed == 0 ? 1 : 0;
}

}  // namespace kesto
