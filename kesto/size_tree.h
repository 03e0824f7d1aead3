// kesto's two display operations that only read the tree: the size totals
// of /S[T][n] and the tree drawing of /T.
//
// /S rounds each selected file's size up to the unit (a byte, or clusters of
// 0.5 to 32 KB), keeps the running total in state.size_total and prints it in
// front of each file's path; the driver prints the line of /ST after the walk
// and ends with the total as the exit code.
//
// /T draws one line per file and per directory with ASCII connectors. To
// tell whether an entry is the last of its directory it steps the walker's
// look-ahead search, which runs one entry ahead of the level's own search.
#pragma once
#include <bitset>
#include <cstdint>

#include "kesto/walker.h"

namespace kesto {

// The tree drawing's state for a whole run; a test starts from a fresh one
// with `tree_state = TreeState{}`.
struct TreeState {
    bool tree_first_line = true;
    // Bit d: another entry follows the current one at depth d, so the
    // column of depth d carries a "|" on the lines below it.
    std::bitset<LEVEL_COUNT> tree_more_bits;
    // Bit d: the directory line at depth d is drawn and its subtree is being
    // walked (its after-subtree call has not come yet).
    std::bitset<LEVEL_COUNT> tree_open_levels;
};
extern TreeState tree_state;

// Adds a size, rounded up to whole units of options.size_unit, to
// state.size_total and, unless options.size_total_only, prints the total
// field (no line end).
void add_size_units(std::uint64_t size);

// The operations of MODE_SIZE (files) and MODE_TREE (files, and directories
// before and after their subtree); both always go on (1).
int sum_entry_size();
int tree_entry();

// Steps the look-ahead of the current level one entry on and records in
// tree_more_bits whether one followed; true when it did.
bool advance_lookahead();

// Writes the indentation, the connector and the name of the current entry
// at out and returns the position behind them; steps the look-ahead.
char* print_tree_prefix(char* out);

}  // namespace kesto
