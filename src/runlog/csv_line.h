// The run log's text: a CSV file as spreadsheets open it. UTF-8 with a byte order mark,
// CR LF line ends, fields separated by a comma or, for spreadsheets that expect it, a
// semicolon, and quoted as RFC 4180 has it (only when they hold a separator, a quote or
// a line break; quotes inside doubled). Numbers always have "." as the decimal mark. Times are
// local with their UTC offset, ISO 8601 to the second: 2026-12-08T14:03:07+07:00.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/zoned_time.h"
#include "runlog/record.h"

namespace tallymark::runlog {

// The separators a log may use; anything else is taken as ','.
char logSeparator(char wanted);

// The start of a new log: the byte order mark and the header line.
std::string fileHeader(char separator = ',');

// Room for any record's line.
inline constexpr size_t kMaxLineSize = 384;

// Formats `record` as one line, CR LF included, into `out` (at least kMaxLineSize
// bytes); returns its length. Allocates nothing.
size_t formatLine(const Record& record, char* out, char separator = ',');

// Appends `field` to `out` (`size` bytes used of `capacity`), quoted when it must be;
// returns the new size. A field that does not fit is cut.
size_t appendField(std::string_view field, char* out, size_t size, size_t capacity,
                   char separator = ',');

// "2026-12-08T14:03:07+07:00" into `out` (at least 26 bytes, no terminator); returns
// the length.
size_t formatTimestamp(const platform::ZonedDateTime& when, char* out);

}  // namespace tallymark::runlog
