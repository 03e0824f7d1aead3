// The size totals of /S and the tree drawing of /T; both build each line in
// the output buffer and print it whole.
#include "kesto/size_tree.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "kesto/listing.h"
#include "kesto/options.h"
#include "platform/console.h"
#include "platform/directory.h"
#include "platform/output.h"
#include "platform/text.h"

namespace kesto {

TreeState tree_state;

namespace {

constexpr std::string_view NOT_DISPLAYED = "---not displayed";
// One connector column: " |  ", "    ", " |- ", " +- ", "-+- ", "--- ".
constexpr std::size_t TREE_COLUMN_WIDTH = 4;
// Blanks between the name and the attribute column.
constexpr std::size_t TREE_NAME_GAP = 8;
// An 8.3 name in columns: the base name, then the dot and the extension.
constexpr std::size_t SHORT_BASE_WIDTH = 8;
constexpr std::size_t SHORT_EXTENSION_WIDTH = 4;

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The text left-aligned in width columns; wider when it is longer.
char* put_padded(char* out, std::string_view text, std::size_t width) {
    out = put(out, text);
    if (text.size() >= width) return out;
    std::memset(out, ' ', width - text.size());
    return out + (width - text.size());
}

// Room for a line of at most size bytes and its line end on standard output.
char* reserve_line(std::size_t size) { return plat::std_out().reserve(size + plat::text_line_end().size()); }

// Ends the line built from begin to end in the reserved room and keeps it.
void commit_line(char* begin, char* end) {
    if (plat::std_out().masking_names()) plat::mask_control_characters(begin, end);
    end = put(end, plat::text_line_end());
    plat::std_out().commit(static_cast<std::size_t>(end - begin));
}

std::size_t depth() { return static_cast<std::size_t>(walker.current_depth); }

// The current entry's name in a tree line: the long name as it is, or the
// short name laid out in the twelve columns of an 8.3 name (wider where a
// part is longer, as a POSIX name that stands for its own short form can
// be).
char* put_tree_name(char* out) {
    if (state.options.name_display & NAME_LONG_PATH)
        return put(out, std::string_view(walker.entry_long_path).substr(walker.entry_long_name));
    const std::string_view name = std::string_view(walker.entry_short_path).substr(walker.entry_short_name);
    const std::size_t base_length = walker.entry_short_extension == std::string::npos
                                        ? name.size()
                                        : walker.entry_short_extension - 1 - walker.entry_short_name;
    out = put_padded(out, name.substr(0, base_length), SHORT_BASE_WIDTH);
    return put_padded(out, name.substr(base_length), SHORT_EXTENSION_WIDTH);
}

// The widest tree line of the current entry, line end excluded.
std::size_t tree_line_room() {
    const std::size_t name = std::max(walker.entry_long_path.size(), walker.entry_short_path.size()) +
                             SHORT_BASE_WIDTH + SHORT_EXTENSION_WIDTH;
    return TREE_COLUMN_WIDTH * (depth() + 1) + name + TREE_NAME_GAP + ATTRIBUTE_WIDTH + 1 + DATE_MAX + 1 + TIME_MAX +
           1 + std::max(SIZE_COLUMN_MAX, NOT_DISPLAYED.size());
}

}  // namespace

void add_size_units(std::uint64_t size) {
    const std::uint32_t unit = state.options.size_unit;
    // Rounded up without forming size + unit - 1, which could overflow.
    state.size_total += size / unit + (size % unit != 0 ? 1 : 0);
    if (state.options.size_total_only) return;
    plat::Output& out = plat::std_out();
    char* begin = out.reserve(SIZE_TOTAL_MAX);
    out.commit(static_cast<std::size_t>(format_size_total(begin, state.size_total, unit) - begin));
}

int sum_entry_size() {
    ++state.pause_counter;
    add_size_units(current_level().find_data.size);
    if (state.options.size_total_only) return 1;
    const std::string_view path =
        display_path(state.options.name_display, walker.entry_long_path.c_str(), walker.entry_short_path.c_str());
    char* begin = reserve_line(path.size());
    commit_line(begin, put(begin, path));
    return 1;
}

bool advance_lookahead() {
    LookaheadRecord& ahead = current_lookahead();
    ahead.advanced = true;
    const bool more = ahead.find_handle.next(ahead.find_data);
    tree_state.tree_more_bits.set(depth(), more);
    return more;
}

char* print_tree_prefix(char* out) {
    if (tree_state.tree_first_line) {
        // The first line stands at the left edge, whatever its depth.
        tree_state.tree_first_line = false;
        out = put(out, advance_lookahead() ? "-+- " : "--- ");
    } else {
        for (std::size_t i = 0; i < depth(); ++i) out = put(out, tree_state.tree_more_bits[i] ? " |  " : "    ");
        out = put(out, advance_lookahead() ? " |- " : " +- ");
    }
    return put_tree_name(out);
}

int tree_entry() {
    ++state.pause_counter;
    const OperationOptions& o = state.options;
    const plat::FindRecord& entry = current_level().find_data;
    const bool directory = (entry.attributes & plat::ATTR_DIRECTORY) != 0;
    // A directory whose line is open gets its after-subtree call: its
    // subtree is drawn, so the columns deeper than it end here. Which levels
    // are open is kept per depth, not as a count compared with the depth:
    // with /P the ancestors of an included directory have no lines.
    if (directory && tree_state.tree_open_levels[depth()]) {
        tree_state.tree_open_levels.reset(depth());
        tree_state.tree_more_bits &= ~(std::bitset<LEVEL_COUNT>().set() << (depth() + 1));
        return 1;
    }
    char* begin = reserve_line(tree_line_room());
    char* out = print_tree_prefix(begin);
    out = put_padded(out, "", TREE_NAME_GAP);
    out = print_attributes(out, entry.attributes);
    *out++ = ' ';
    out = print_date_column(out, entry.last_write_time, o.four_digit_year);
    out = print_time_short(out, entry.last_write_time);
    if (directory) {
        if (walker.current_depth >= o.max_depth) out = put(out, NOT_DISPLAYED);
        tree_state.tree_open_levels.set(depth());
    } else {
        out = print_size_column(out, entry.size, entry.attributes, true);
    }
    commit_line(begin, out);
    return 1;
}

}  // namespace kesto
