# Writes the country and currency names of Debian's iso-codes as a C++ table, so that
# every build (the Windows one too) carries them without a hand-typed list.
#   cmake -DCOUNTRIES=iso_3166-1.json -DCURRENCIES=iso_4217.json -DOUTPUT=iso_names.inc -P iso_names.cmake

# Appends to the variable out one row {numeric, "code", "name"} per entry of the list
# key in the JSON text json; code_key names the entry's letter code.
function(iso_rows json key code_key out)
  set(rows "")
  string(JSON count LENGTH "${json}" ${key})
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON entry GET "${json}" ${key} ${i})
    string(JSON numeric ERROR_VARIABLE missing GET "${entry}" numeric)
    if(missing)
      continue()  # a withdrawn code without a number: nothing to look up by
    endif()
    string(JSON code GET "${entry}" ${code_key})
    string(JSON name GET "${entry}" name)
    string(REPLACE "\\" "\\\\" name "${name}")
    string(REPLACE "\"" "\\\"" name "${name}")
    string(REGEX REPLACE "^0+([0-9])" "\\1" numeric "${numeric}")
    string(APPEND rows "    {${numeric}, \"${code}\", \"${name}\"},\n")
  endforeach()
  set(${out} "${rows}" PARENT_SCOPE)
endfunction()

file(READ "${COUNTRIES}" countries)
file(READ "${CURRENCIES}" currencies)
iso_rows("${countries}" "3166-1" alpha_2 country_rows)
iso_rows("${currencies}" "4217" alpha_3 currency_rows)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from iso-codes at build time by iso_names.cmake; do not edit.\n"
  "const IsoName kCountries[] = {\n${country_rows}};\n"
  "const IsoName kCurrencies[] = {\n${currency_rows}};\n")
# Only a changed table makes its users compile again.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
