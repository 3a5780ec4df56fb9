#pragma once

// Precondition checks of the FFT engine: a violation is a programming error and stops the program
// with "Assertion failed: <expression>, file <source>, line <n>".
namespace rfft
{
[[noreturn]] void assertionFailed(const char* expression, const char* file, int line);
}

#define RFFT_ASSERT(cond) \
    ((cond) ? static_cast<void>(0) : ::rfft::assertionFailed(#cond, __FILE__, __LINE__))
