// Dates on the command line are local times: fixed time zones give fixed
// UTC file times (POSIX, where a test can choose the zone).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "kesto/options.h"

namespace {

// Sets TZ for the lifetime of the object and restores it afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        had_old_ = old != nullptr;
        if (had_old_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (had_old_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_old_ = false;
    std::string old_;
};

TEST(KestoOptionsPosix, DatesAreLocalTimes) {
    struct Row {
        const char* zone;
        const char* text;
        int fill;
        plat::FileTime utc;
    } rows[] = {
        // 2008-05-01 01:00:00 UTC
        {"JST-9", "2008-05-01,10:00:00", kesto::DATE_FILL_NONE, 128540772000000000u},
        // 2008-05-01 14:59:59.999 UTC
        {"JST-9", "2008-05-01", kesto::DATE_FILL_END, 128541275999990000u},
        // Summer time: 2008-07-01 10:00:00 UTC
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2008-07-01,12:00:00", kesto::DATE_FILL_NONE, 128593800000000000u},
        // Winter time: 2008-01-15 11:00:00 UTC
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2008-01-15&12:00:00", kesto::DATE_FILL_START, 128448684000000000u},
    };
    for (const Row& row : rows) {
        TimeZone zone(row.zone);
        std::string_view cursor = row.text;
        plat::FileTime result = 0;
        EXPECT_TRUE(kesto::parse_date_time(result, cursor, row.fill)) << row.zone << " " << row.text;
        EXPECT_EQ(result, row.utc) << row.zone << " " << row.text;
    }
}

}  // namespace
