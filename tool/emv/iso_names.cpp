#include "iso_names.h"

#include <iterator>

namespace kavonel::emv {
namespace {

#include "iso_names.inc"

template <size_t N>
const IsoName* Find(const IsoName (&table)[N], unsigned numeric) {
  for (const IsoName& entry : table) {
    if (entry.numeric == numeric) return &entry;
  }
  return nullptr;
}

}  // namespace

const IsoName* FindCountry(unsigned numeric) {
  return Find(kCountries, numeric);
}

const IsoName* FindCurrency(unsigned numeric) {
  return Find(kCurrencies, numeric);
}

}  // namespace kavonel::emv
