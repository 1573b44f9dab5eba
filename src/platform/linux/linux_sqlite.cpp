// The settings store's bounded lock waits and its error texts.
#include "platform/linux/linux_sqlite.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <thread>

namespace duskpane::sqlite {

namespace {

// Short sleeps first, as SQLite's own handler does, so that a lock held for
// a moment costs a moment.
constexpr int kWaitStepsMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};

extern "C" int WaitForLock(void* context, int count) {
    const auto& budget = *static_cast<const WaitBudget*>(context);
    const Clock::time_point now = Clock::now();
    if (now >= budget.deadline) return 0;
    const int last = int(std::size(kWaitStepsMs)) - 1;
    const std::chrono::milliseconds step(kWaitStepsMs[std::min(count, last)]);
    std::this_thread::sleep_for(std::min<Clock::duration>(step, budget.deadline - now));
    return 1;
}

}  // namespace

void LimitWaits(sqlite3* db, WaitBudget& budget) { sqlite3_busy_handler(db, WaitForLock, &budget); }

std::string ErrorText(sqlite3* db) {
    if (db == nullptr) return "out of memory";
    std::string text = sqlite3_errmsg(db);
    // The system's error is kept from the last failed open or I/O only.
    const int code = sqlite3_errcode(db) & 0xFF;
    if (const int error = sqlite3_system_errno(db);
        error != 0 && (code == SQLITE_CANTOPEN || code == SQLITE_IOERR)) {
        const std::string cause = std::strerror(error);
        if (text.find(cause) == std::string::npos) text += " (" + cause + ")";
    }
    return text;
}

}  // namespace duskpane::sqlite
