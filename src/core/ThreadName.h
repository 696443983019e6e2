#pragma once

// Names the calling thread (at most 15 characters are kept) so that top, ps and debuggers show
// which worker uses the processor.
void NameThisThread(const char* name);
