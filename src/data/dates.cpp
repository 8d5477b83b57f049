// Dates as each format writes them: AiM CSV "Saturday, November 8, 2025",
// MoTeC LD and VBO day first, RaceChrono and iRacing by their Unix start
// time; elsewhere only what cannot be misread.
#include "data/dates.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/calendar.h"

namespace lx::data {

namespace {

constexpr int MONTHS = 12;
constexpr int FIRST_YEAR = 1970, LAST_YEAR = 9999;
constexpr std::array<std::string_view, MONTHS> MONTH_NAMES = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

struct Day {
    int year = 0, month = 0, day = 0;
};

bool leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in(int year, int month) {
    constexpr std::array<int, MONTHS> DAYS = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return DAYS[static_cast<std::size_t>(month - 1)] + (month == 2 && leap(year) ? 1 : 0);
}

bool valid(const Day& d) {
    return d.year >= FIRST_YEAR && d.year <= LAST_YEAR && d.month >= 1 && d.month <= MONTHS &&
           d.day >= 1 && d.day <= days_in(d.year, d.month);
}

std::string iso(const Day& d) {
    if (!valid(d)) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

std::string unix_day(double start_time) {
    if (!(start_time > 0 && start_time < LAST_DATE_SECONDS)) return "";
    CivilTime c = civil_time(static_cast<long long>(std::floor(start_time)));
    return iso({c.year, static_cast<int>(c.month), static_cast<int>(c.day)});
}

// The runs of digits and of letters, lower case, in order.
std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) out.push_back(word);
        word.clear();
    };
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        bool digit = std::isdigit(u) != 0, alpha = std::isalpha(u) != 0;
        if (!digit && !alpha) {
            flush();
            continue;
        }
        if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word.back())) != 0) != digit)
            flush();
        word.push_back(static_cast<char>(std::tolower(u)));
    }
    flush();
    return out;
}

bool number(const std::string& word, int& value) {
    if (word.empty() || word.size() > 4 || std::isdigit(static_cast<unsigned char>(word[0])) == 0)
        return false;
    value = std::stoi(word);
    return true;
}

int month_named(const std::string& word) {
    for (std::size_t m = 0; m < MONTH_NAMES.size(); ++m)
        if (MONTH_NAMES[m] == word) return static_cast<int>(m) + 1;
    return 0;
}

// Three numbers; the year has four digits, else the date misses its century.
bool three_numbers(const std::vector<std::string>& w, int (&n)[3], bool& year_first) {
    if (w.size() != 3) return false;
    for (int i = 0; i < 3; ++i)
        if (!number(w[static_cast<std::size_t>(i)], n[i])) return false;
    year_first = w[0].size() == 4;
    return year_first || w[2].size() == 4;
}

// "Saturday, November 8, 2025": a month by name, a day and a year.
std::string named_month(const std::vector<std::string>& w) {
    Day d;
    for (const std::string& word : w) {
        int value = 0;
        if (int m = month_named(word); m != 0)
            d.month = m;
        else if (!number(word, value))
            continue;
        else if (word.size() == 4)
            d.year = value;
        else
            d.day = value;
    }
    return iso(d);
}

// Day and month in an order the format fixes, or told apart by a day past 12.
std::string numeric(const std::vector<std::string>& w, bool day_first_known) {
    int n[3];
    bool year_first = false;
    if (!three_numbers(w, n, year_first)) return "";
    if (year_first) return iso({n[0], n[1], n[2]});
    if (day_first_known || n[0] > MONTHS) return iso({n[2], n[1], n[0]});
    if (n[1] > MONTHS) return iso({n[2], n[0], n[1]});
    return "";
}

} // namespace

std::string session_day(const SessionRecord& record) {
    const std::string& f = record.format;
    if (f == "RaceChrono CSV" || f == "iRacing telemetry") return unix_day(record.start_time);
    std::vector<std::string> w = words(record.date);
    for (const std::string& word : w)
        if (month_named(word) != 0) return named_month(w);
    return numeric(w, f == "MoTeC LD" || f == "VBO");
}

} // namespace lx::data
