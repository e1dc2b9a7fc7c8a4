// OLE Automation dates (days since 30 December 1899, local time) as the host shows them.
#pragma once

#include <string>

namespace tallymark::hostsim {

// "YYYY-MM-DD HH:MM:SS", rounded to the second. Values outside the OLE date range
// (years 100 to 9999) and NaN come back as "(not a date: <value>)".
std::string formatOleDate(double value);

}  // namespace tallymark::hostsim
