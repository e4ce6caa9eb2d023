// Index of this codec unit within a multi-codec system, as published by the
// platform in "/tmp/velar-idx.txt".
#pragma once

extern "C" {
// The unit index, 0 when unknown. Read once; the answer is kept for the life
// of the process.
int get_velar_idx();
}
