// The checks that the product is installed at all, made before its filter
// registration is judged.
#pragma once

// The filter driver's file is in the system directory's DRIVERS folder.
bool DriverFilePresent();

// The product's App Paths registration names a file that exists.
bool ProductInstalled();

enum class FilterService { StartsWithSystem, StartsLate, Missing };
FilterService ProbeFilterService();
