// The multi-codec system id of this unit, kept by the platform in
// "/opt/corvale/dat/multicodec_systemid.dat" as one decimal number. 0 or a
// missing file means the unit is not part of a multi-codec system.
#pragma once

#include <cstdint>

// Results of the operations below.
enum {
  kCodecIdOk = 0,            // read_codec_id, write_codec_id
  kCodecIdOpenFailed = 1,    // read_codec_id, write_codec_id
  kCodecIdReadFailed = 2,    // read_codec_id: empty or unreadable file
  kCodecIdWriteFailed = 3,   // write_codec_id
  kCodecIdRemoved = 4,       // remove_codec_id_file
  kCodecIdRemoveFailed = 5,  // remove_codec_id_file: missing or not removable
};

// Reads the file on the first call after start, a write or a removal; later
// calls answer from the cache, failures included. On kCodecIdOk the id is
// stored through system_id when it is not null.
int read_codec_id(uint32_t* system_id);
int write_codec_id(uint32_t system_id);
int remove_codec_id_file();
