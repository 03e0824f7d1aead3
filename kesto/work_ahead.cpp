#include "kesto/work_ahead.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
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

// Files done and not yet claimed, at most: enough to keep the worker busy
// while the walk prints, few enough to undo quickly when the walk stops.
constexpr std::size_t WINDOW = 8;
// How often the walk, waiting for the worker, looks at the keyboard.
constexpr std::chrono::milliseconds KEY_POLL{50};

struct Slot {
    AheadItem item;
    bool ready = false;
};

// The work on one level's files.
struct Ahead {
    int depth = 0;
    AheadWork work{};
    const plat::Directory* source = nullptr;  // the level's, held open by the walk
    std::string pattern;                      // the level's search pattern
    std::string after;                        // the entry the walk was at
    std::string source_directory;             // entry paths up to the name
    std::string dest_directory;               // destination paths up to the name
    plat::Directory destination;
    std::unique_ptr<unsigned char[]> scratch;

    std::mutex mutex;
    std::condition_variable changed;
    std::list<Slot> slots;              // in the order of the directory
    std::set<std::string> taken;        // files the walk does itself
    std::size_t waiting = 0;            // ready slots
    std::atomic<bool> stopping{false};  // set under the mutex; work reads it as it goes
    bool finished = false;              // the worker has gone through the directory
    std::thread worker;

    ~Ahead();
    void run();
    // A file found: false when the worker is to stop.
    bool take_on(const plat::FindRecord& entry);
};

std::unique_ptr<Ahead> ahead;
// The levels whose directory has had its worker, while the walk is in it.
std::array<bool, LEVEL_COUNT> had_worker{};

bool same_record(const plat::FindRecord& a, const plat::FindRecord& b) {
    return a.size == b.size && a.attributes == b.attributes && a.last_write_time == b.last_write_time &&
           a.creation_time == b.creation_time && a.last_access_time == b.last_access_time;
}

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

bool Ahead::take_on(const plat::FindRecord& entry) {
    std::list<Slot>::iterator slot;
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return stopping || waiting < WINDOW; });
        if (stopping) return false;
        if (taken.count(entry.long_name)) return true;
        slot = slots.emplace(slots.end());
        slot->item.entry = entry;
    }
    // The walk reads the entry's name, and nothing else of the slot until it
    // is ready.
    AheadItem& item = slot->item;
    item.source_path = source_directory + entry.long_name;
    if (work.uses_destination) item.dest_path = dest_directory + entry.long_name;
    work.run(item, destination, scratch.get(), stopping);
    {
        std::lock_guard<std::mutex> lock(mutex);
        slot->ready = true;
        ++waiting;
    }
    changed.notify_all();
    return true;
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
    bool past = false;
    for (bool found = search.first(*source, pattern.c_str(), entry); found; found = search.next(entry)) {
        if (!past) {
            past = entry.long_name == after;
            continue;
        }
        if (entry.attributes & (plat::ATTR_DIRECTORY | plat::ATTR_REPARSE_POINT)) continue;
        if (!take_on(entry)) break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
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
    if (work.uses_destination) {
        next->dest_directory = walker.dest_path.substr(0, last_component_offset(walker.dest_path));
        // A directory of its own: the walk's moves on as the walk descends.
        if (!open_dest_directory() || !walker.dest_directory.is_open() ||
            !next->destination.open_in(walker.dest_directory, ".", false))
            return;
    }
    next->scratch.reset(new (std::nothrow) unsigned char[AHEAD_SCRATCH_SIZE]);
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
    for (auto slot = ahead->slots.begin(); slot != ahead->slots.end(); ++slot) {
        if (slot->item.entry.long_name != entry.long_name) continue;
        // The worker is at it: the keyboard is watched meanwhile, as the
        // walk would between two blocks of its own, and ESC stops the work.
        while (!ahead->changed.wait_for(lock, KEY_POLL, [&slot] { return slot->ready; })) {
            lock.unlock();
            const bool stop = check_user_break(nullptr, false) != 0;
            lock.lock();
            if (stop) {
                ahead->stopping = true;
                ahead->changed.notify_all();
                return false;
            }
        }
        item = std::move(slot->item);
        ahead->slots.erase(slot);
        --ahead->waiting;
        lock.unlock();
        ahead->changed.notify_all();
        if (!item.done) return false;
        if (same_record(item.entry, entry) && item.source_path == walker.entry_long_path &&
            (!ahead->work.uses_destination || item.dest_path == walker.dest_path))
            return true;
        ahead->work.discard(item, ahead->destination);
        return false;
    }
    ahead->taken.insert(entry.long_name);
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
