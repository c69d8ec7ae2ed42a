// The message store in a PostgreSQL database, so that several services, each on its own
// phone, can write into one leaderboard. The operator creates the database; the service
// creates or migrates the tables in it, under an advisory lock so that two services starting
// at once on an empty database do not race. The schema's version sits in brindle_schema.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "service/message_store.h"

namespace brindle::service {

inline constexpr int kPostgresSchemaVersion = 4;
// The application name in brindle_schema, so another program's tables are refused.
inline constexpr std::string_view kPostgresApplication = "brindle-scores";
// pg_advisory_xact_lock key held while the schema is checked and migrated ("BRND").
inline constexpr std::int64_t kPostgresMigrationLock = 0x42524E44;
// pg_advisory_xact_lock key of moderation, taken shared by every batch ("BRNM").
inline constexpr std::int64_t kPostgresModerationLock = 0x42524E4D;

// True for the locations that name a PostgreSQL database: a postgresql:// or postgres:// URL,
// or libpq key=value text, which starts (after blanks) with a libpq keyword and `=`.
bool IsPostgresLocation(std::string_view location);

// The advisory-lock keys a writer takes before it inserts `messages`, sorted and each once:
// every writer takes them in the same order, so two batches that share messages wait for each
// other one way only, never in a deadlock. A message's key is one of kMessageLockSlots, so a
// batch of any size holds a bounded number of locks (the server's lock table is small); two
// messages that share a slot only wait for each other.
inline constexpr std::uint64_t kMessageLockSlots = 1024;
std::vector<std::int64_t> MessageLockKeys(std::span<const Message> messages);

// `conninfo` as libpq takes it, either form. nullptr with `error` on failure: kMissing when
// the database does not exist or libpq cannot use the location, kNotOurs when it holds other
// tables or a newer schema (or, for readers, no schema yet) or the server turns us away,
// kUnavailable when the server cannot be reached or does not take connections yet.
std::unique_ptr<MessageStore> OpenPostgresStore(std::string_view conninfo, OpenMode mode,
                                                StoreError& error);

}  // namespace brindle::service
