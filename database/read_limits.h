// How large a file ORVA reads whole: a database as far as its 32-bit offsets
// reach; a translation file or a patch, which holds a database's texts and
// little more, to the same size.
#pragma once

#include "database/format.h"
#include "storage/file_system.h"

namespace orva {

inline constexpr ReadLimit kDatabaseReadLimit{
    format::kMaxDatabaseSize, "the 2 GiB that the 32-bit offsets of a text database can address"};

inline constexpr ReadLimit kExchangeReadLimit{format::kMaxDatabaseSize,
                                              "the 2 GiB of texts that a text database can hold"};

}  // namespace orva
