#include "kesto/work_ahead.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "kesto/console.h"
#include "kesto/options.h"
#include "kesto/walker.h"
#include "platform/fault.h"

namespace kesto {
namespace {

// Files found and not yet claimed, at most: enough to keep both the worker
// and the waiting walk busy, few enough to undo quickly when the walk stops.
constexpr std::size_t WINDOW = 8;
// How often the walk, waiting for the worker, looks at the keyboard.
constexpr std::chrono::milliseconds KEY_POLL{50};

enum class SlotState { pending, working, ready };

struct Slot {
    AheadItem item;
    SlotState state = SlotState::pending;
};

// The work on one level's files: the worker lists the directory's files
// into slots and does them in order; the walk, waiting for a file the
// worker is at, does the next pending one meanwhile.
struct Ahead {
    int depth = 0;
    AheadWork work{};
    const plat::Directory* source = nullptr;  // the level's, held open by the walk
    std::string pattern;                      // the level's search pattern
    std::string after;                        // the entry the walk was at
    std::string source_directory;             // entry paths up to the name
    std::string dest_directory;               // destination paths up to the name
    plat::Directory destination;
    std::unique_ptr<unsigned char[]> scratch;  // the worker's, then the walk's

    std::mutex mutex;
    std::condition_variable changed;
    std::list<Slot> slots;              // in the order of the directory
    std::set<std::string> taken;        // files the walk does itself
    std::atomic<bool> stopping{false};  // set under the mutex; work reads it as it goes
    std::thread worker;

    ~Ahead();
    void run();
    // The first pending slot, made working, or null; under the mutex.
    Slot* next_pending();
    // Does a slot's work; called with the mutex locked, which it unlocks
    // meanwhile.
    void work_on(Slot& slot, unsigned char* room, const std::function<bool()>& stop,
                 std::unique_lock<std::mutex>& lock);
};

std::unique_ptr<Ahead> ahead;
// The levels whose directory has had its worker, while the walk is in it.
std::array<bool, LEVEL_COUNT> had_worker{};

// True when every file of the directory is selected: the options filter on
// nothing, and the source names a directory or its contents (a trailing
// separator), not a file or a pattern.
bool selects_whole_directory() {
    const OperationOptions& o = state.options;
    const bool whole_source = (o.selection_flags & SELECT_SOURCE_DIRECTORY) || !state.source_arg ||
                              current_level().prefix_length >= state.source_arg->size();
    return whole_source && !(o.selection_flags & (SELECT_SOURCE_WILDCARD | SELECT_DATE)) &&
           o.include_file_list.empty() && o.exclude_file_list.empty() && o.include_dir_list.empty() &&
           o.attr_any_mask == 0 && o.attr_all_mask == 0 && o.attr_none_mask == 0;
}

// The next file of a search: false at its end.
bool next_file(plat::DirectorySearch& search, plat::FindRecord& entry) {
    while (search.next(entry))
        if (!(entry.attributes & (plat::ATTR_DIRECTORY | plat::ATTR_REPARSE_POINT))) return true;
    return false;
}

Slot* Ahead::next_pending() {
    for (Slot& slot : slots) {
        if (slot.state != SlotState::pending) continue;
        slot.state = SlotState::working;
        return &slot;
    }
    return nullptr;
}

void Ahead::work_on(Slot& slot, unsigned char* room, const std::function<bool()>& stop,
                    std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    work.run(slot.item, destination, room, stop);
    lock.lock();
    slot.state = SlotState::ready;
    changed.notify_all();
}

// Stops the worker and undoes what the walk did not claim.
Ahead::~Ahead() {
    if (worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        worker.join();
    }
    for (Slot& slot : slots)
        if (slot.item.done) work.discard(slot.item, destination);
}

void Ahead::run() {
    plat::DirectorySearch search;
    plat::FindRecord entry;
    bool found = search.first(*source, pattern.c_str(), entry);
    while (found && entry.long_name != after) found = search.next(entry);
    found = found && next_file(search, entry);
    std::set<std::string> dest_names;
    if (work.destination_use == DestinationUse::write) {
        plat::DirectorySearch names;
        plat::FindRecord name;
        for (bool more = names.first(destination, "*", name); more; more = names.next(name))
            dest_names.insert(name.long_name);
    }
    const std::function<bool()> stop = [this] { return stopping.load(); };
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (found && slots.size() < WINDOW) {
            // A name the destination held is a replacement: the walk's to make.
            if (!taken.count(entry.long_name) && !dest_names.count(entry.long_name)) {
                Slot& slot = slots.emplace_back();
                slot.item.entry = entry;
                slot.item.source_path = source_directory + entry.long_name;
                if (work.destination_use != DestinationUse::none)
                    slot.item.dest_path = dest_directory + entry.long_name;
            }
            lock.unlock();
            found = next_file(search, entry);
            lock.lock();
        } else if (Slot* slot = next_pending()) {
            work_on(*slot, scratch.get(), stop, lock);
        } else if (!found) {
            break;
        } else {
            changed.wait(lock);
        }
    }
    changed.notify_all();
}

// The work under way, if any, ended (~Ahead).
void end_work() { ahead.reset(); }

}  // namespace

void nothing_to_discard(AheadItem& item, const plat::Directory& /*destination*/) { item.done = false; }

void start_work_ahead(const AheadWork& work) {
    // One worker a directory, and one directory at a time: the walk going
    // down into a directory takes the worker from the one above (what it did
    // there and the walk did not claim yet is undone), which then does
    // without. Starting over there would have the worker go through all the
    // entries before the walk's again.
    const auto depth = static_cast<std::size_t>(walker.current_depth);
    if (had_worker[depth]) return;
    had_worker[depth] = true;
    end_work();
    if (plat::fault::any_armed() || !selects_whole_directory() || std::thread::hardware_concurrency() == 1) return;
    auto next = std::make_unique<Ahead>();
    const LevelRecord& level = current_level();
    next->depth = walker.current_depth;
    next->work = work;
    next->source = &level.directory;
    next->pattern = level.search_path.substr(last_component_offset(level.search_path));
    next->after = level.find_data.long_name;
    next->source_directory = walker.entry_long_path.substr(0, walker.entry_long_name);
    if (work.destination_use != DestinationUse::none) {
        next->dest_directory = walker.dest_path.substr(0, last_component_offset(walker.dest_path));
        // A directory of its own: the walk's moves on as the walk descends.
        if (!open_dest_directory() || !walker.dest_directory.is_open() ||
            !next->destination.open_in(walker.dest_directory, ".", false))
            return;
    }
    next->scratch.reset(new (std::nothrow) unsigned char[2 * AHEAD_SCRATCH_SIZE]);
    if (!next->scratch) return;
    try {
        next->worker = std::thread(&Ahead::run, next.get());
    } catch (const std::system_error&) {
        return;  // the walk does it all
    }
    ahead = std::move(next);
}

bool claim_work_ahead(AheadItem& item) {
    if (!ahead || ahead->depth != walker.current_depth) return false;
    const plat::FindRecord& entry = current_level().find_data;
    std::unique_lock<std::mutex> lock(ahead->mutex);
    auto slot = ahead->slots.begin();
    while (slot != ahead->slots.end() && slot->item.entry.long_name != entry.long_name) ++slot;
    if (slot == ahead->slots.end()) {
        ahead->taken.insert(entry.long_name);
        return false;
    }
    // The worker is at it: meanwhile the walk does the next pending file
    // (its scratch room free, the worker having its own), or watches the
    // keyboard as it would between two blocks of its own; ESC stops the work.
    const std::function<bool()> stop = [] { return check_user_break(nullptr, false) != 0; };
    unsigned char* room = ahead->scratch.get() + AHEAD_SCRATCH_SIZE;
    while (slot->state == SlotState::working) {
        if (Slot* other = ahead->next_pending()) {
            ahead->work_on(*other, room, stop, lock);
        } else if (!ahead->changed.wait_for(lock, KEY_POLL, [&slot] { return slot->state != SlotState::working; })) {
            lock.unlock();
            const bool abort = stop();
            lock.lock();
            if (abort) state.aborted = true;
        }
        if (state.aborted) {
            ahead->stopping = true;
            ahead->changed.notify_all();
            return false;
        }
    }
    const bool ready = slot->state == SlotState::ready;
    item = std::move(slot->item);
    ahead->slots.erase(slot);
    lock.unlock();
    ahead->changed.notify_all();
    // A pending file the walk does itself, as if none had been found.
    if (!ready || !item.done) return false;
    // Used only when the file is still as the worker found it.
    if (item.source_path == walker.entry_long_path &&
        (ahead->work.destination_use == DestinationUse::none || item.dest_path == walker.dest_path) &&
        plat::still_as_found(item.source_path.c_str(), entry, item.entry))
        return true;
    ahead->work.discard(item, ahead->destination);
    return false;
}

void discard_work_ahead(AheadItem& item) {
    if (ahead && item.done) ahead->work.discard(item, ahead->destination);
}

void stop_work_ahead() {
    had_worker[static_cast<std::size_t>(walker.current_depth)] = false;
    if (ahead && ahead->depth == walker.current_depth) end_work();
}

}  // namespace kesto
