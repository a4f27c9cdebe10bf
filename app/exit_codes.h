#pragma once

constexpr int kExitFinished = 0;         // a question was declined, or the repair was written
constexpr int kExitRegistryFailed = 1;   // the class key could not be read, or the repair not written
constexpr int kExitPreconditionFailed = 10;
