// Whether this run's writes into the system directory would land in the
// user's VirtualStore instead.
#pragma once

bool AreWritesVirtualized();
