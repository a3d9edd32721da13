#pragma once

struct FlashOptions;

// veltrax-flash --check: the update's own choice of file and its pre-check,
// and nothing else: no question, no port. Prints the file's name, lines, data
// bytes, address ranges and SHA-256 on standard output (one JSON object with
// --json). Returns 0 when the update would send the file, 2 when it would
// refuse it (the reason on standard error, and in the JSON object).
int runCheck(const FlashOptions &options);
