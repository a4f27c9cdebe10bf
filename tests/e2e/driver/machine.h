// The Wine machine the tool runs on: seeding it from a scenario and reading
// back what the tool left, all through the ANSI API the tool itself uses.
#pragma once

#include "scenario.h"

#include <string>

// The settings every run needs in the prefix: no crash dialog, relay tracing
// limited to the restart call, and Wine's null display driver, or with
// `desktop` ("800x600") a virtual desktop of that size on the X display.
bool PrepareMachine(const std::string& desktop, std::string& error);

// Resets the product's files and keys, then seeds them as the scenario says.
bool SeedMachine(const Scenario& scenario, std::string& error);

// A change made while seeding or while a question is open.
bool ApplyAction(const Action& action, std::string& error);

// Gives back full rights on the product's keys, so that they can be read
// back and reset.
void RestoreRights();

RegValue ReadStart();
RegValue ReadFilters();

// Prints the product's files and registry values for a person to read.
void PrintMachine();
