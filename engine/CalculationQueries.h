#pragma once
// The calculation functions that read the target database. All of them work on IBQueryR in the
// read transaction and read what they need into memory before the next query, so none of them
// keeps the query open across another one. Database errors propagate to the record loop.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Dane.h"

namespace migracja::engine {

// FIRMA_ID of the company of an order: by the service company's key when serviceFlag is "T",
// otherwise by the tax payer's key prefix + key; -1 when there is none.
std::int32_t GetFIRMA_ID_Zlecenia(TDane& dane, std::string_view key, std::string_view prefix,
                                  std::string_view serviceFlag);

// FIRMA_ID of the company with this key that has the role: 1 fiscal producer, 2 service,
// 4 tax payer (key + suffix), 7 distributor; -1 for another role or no such company.
std::int32_t SelectWgNr(TDane& dane, std::string_view key, std::int32_t role,
                        std::string_view suffix);

// SPRZET_ID of the device at the end of the chain of successors that starts with the device
// whose predecessor number is number; -1 when none has it. A chain that leads back to a number
// already visited is reported as an error (result -1) instead of being followed for ever.
std::int32_t GetIDAktywnejKasy(TDane& dane, std::string_view number);

// wanted, made unique within the column named by columnFromTable ("NAZWA_SKROT FROM
// REJESTR_FIRM"): as it is when free, else with "#", "#0" or "#" and the next number.
std::string NextUniqueSkrot(TDane& dane, std::string_view wanted, std::string_view columnFromTable);

// The declared character length of the CHAR or VARCHAR column named by "COLUMN FROM TABLE",
// 20 when the system tables do not know it; kept in dane.CharLengthCache.
int DeclaredCharLength(TDane& dane, std::string_view columnFromTable);

}  // namespace migracja::engine
