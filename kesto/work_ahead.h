// Work on the files of the directory being walked, done ahead of the walk by
// a worker thread: while the walk reports on one file, the worker already
// reads, compares or copies the next ones. The walk stays the only one that prints,
// asks, decides and puts things in place: it claims a file's work when it
// reaches the file and uses it only when the file is still as the worker
// found it; what the worker made for a file the walk does not claim is
// undone when the walk leaves the directory (or stops).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/directory.h"
#include "platform/file.h"

namespace kesto {

// One file of the directory, as the worker found it, and what its work made.
struct AheadItem {
    plat::FindRecord entry;
    std::string source_path;    // as entry_long_path would be
    std::string dest_path;      // as dest_path would be, for work with a destination
    bool done = false;          // the work was done; else the walk does it itself
    std::uint32_t outcome = 0;  // what the work found
    std::string made;           // a file it made: its name in the destination directory
    int ticket = -1;            // of remove_at_termination, while made exists
    plat::File unnamed;         // or the file it made without a name, open until named
};

// What work does with the destination tree: nothing, reads from it, or
// writes new files into it (for which the worker lists, once, the names
// the destination directory holds, rather than asking for each file's).
enum class DestinationUse { none, read, write };

// Room a worker gives its work: two blocks of TRANSFER_BUFFER_SIZE.
constexpr std::size_t AHEAD_SCRATCH_SIZE = 2 * 65536;

struct AheadWork {
    // Does one file's work, on the worker thread or on the walk's while it
    // waits for the worker, touching nothing of the walk's; destination is
    // the destination directory of the files. Work for which stop() comes
    // true gives up (item.done false) as soon as it can.
    void (*run)(AheadItem& item, const plat::Directory& destination, unsigned char* scratch,
                const std::function<bool()>& stop);
    // Undoes, without a word, what run made for a file the walk did not take.
    void (*discard)(AheadItem& item, const plat::Directory& destination);
    DestinationUse destination_use;
};

// The discard of work that makes nothing (a comparison, a CRC).
void nothing_to_discard(AheadItem& item, const plat::Directory& destination);

// Starts work on the files of the current level that come after the current
// entry, unless this directory has had its worker already, a fault is
// armed (the calls must come in the order of a run without threads), or the
// selection could pass over files of the directory (name, attribute or date
// filters, a wildcard source): work the walk would not claim is waste.
void start_work_ahead(const AheadWork& work);
// The work done for the current entry (entry_long_path, dest_path, its find
// record): true and item filled when the worker did it (waiting while it is
// at it, and doing work of later files meanwhile); false when the walk is to
// do it itself, or, with state.aborted set, when ESC came meanwhile: the
// walk then stops before this entry. An item that no longer fits the entry
// is discarded.
bool claim_work_ahead(AheadItem& item);
// Undoes, without a word, what the worker made for an item claimed and not
// used.
void discard_work_ahead(AheadItem& item);
// Ends the work on the current level's files, undoing what was not claimed;
// every thread is gone when it returns. Called as the walk leaves a level.
void stop_work_ahead();

}  // namespace kesto
