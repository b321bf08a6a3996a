#include "TestData.h"

#include "TestUtil.h"

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace cabtest {

std::string Text(std::size_t n, unsigned seed) {
    std::string s;
    for (unsigned i = seed; s.size() < n; ++i)
        s += "record " + std::to_string(i * 2654435761u % 100000) + " of the set, value " +
             std::to_string(i % 77) + "\n";
    s.resize(n);
    return s;
}

std::time_t SetLocalMtime(const std::string& path, int year, int month, int day, int hour,
                          int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (!testutil::SetModifiedTime(path, t))
        throw std::runtime_error("cannot set the time of " + path);
    return t;
}

} // namespace cabtest
