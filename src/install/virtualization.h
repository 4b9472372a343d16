// Whether this run's writes into the system directory would land in the
// user's VirtualStore instead, and turning that off.
#pragma once

bool AreWritesVirtualized();

// Once, before anything is copied: keeps the writes out of the user's VirtualStore.
void DisableFileVirtualization();
