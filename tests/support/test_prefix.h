#pragma once

// Ends the process unless it runs under Wine, inside the throwaway prefix
// that scripts/test.sh made for this run. Every test program calls it first.
void RequireTestPrefix();
