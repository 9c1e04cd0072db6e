// Country and currency names by their ISO numeric codes, from Debian's iso-codes data,
// turned into a table when the program is built (iso_names.cmake).
#pragma once

#include <cstdint>

namespace kavonel::emv {

struct IsoName {
  uint16_t numeric;
  const char* code;  // alpha-2 for a country, alpha-3 for a currency
  const char* name;
};

// nullptr for a code that is not assigned.
const IsoName* FindCountry(unsigned numeric);
const IsoName* FindCurrency(unsigned numeric);

}  // namespace kavonel::emv
