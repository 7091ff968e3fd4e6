#pragma once

// One entry of a value map; a map is an array of entries closed by one with a null name.
struct tm_enum_map {
    int value;
    const char* name;
};

// Name of value in map. A value the map does not hold throws Tm_exception naming the value:
// a number that has no name must not travel as some other name or as an empty text.
const char* tms_enum_to_string(int value, const tm_enum_map* map);
// Value of name in map (exact, case-sensitive). An unknown or null name throws Tm_exception.
int tms_string_to_enum(const char* name, const tm_enum_map* map);
