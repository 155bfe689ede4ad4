// One run per working folder: a second start from the folder of a running setup brings that setup forward and ends.
// Contract: a claim's name only points to its holder; a start gives way only to a running copy of this program's own
// image that shows a window and answers. Anything else that holds the name lets the start go on as usual.
#pragma once

// Claims the working folder for this process until it ends, through a named section in the namespace of all sessions:
// `name` (at most 64 characters) plus the folder's identity on its volume. 1: this process runs (it holds the claim,
// or nothing could claim it, or the name is held by something other than a running copy of this program). 0: such a
// copy holds it; its window (or the box or picker it waits on) has been brought to the front.
int ClaimWorkingFolder(const char* name);
