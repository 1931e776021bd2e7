#pragma once

namespace KvMigration {

// The two process-wide switches of the client passes, both off at start. Each pass sets them when
// it begins and they stay set for the rest of the process.

// The storage client objects are read from or written to is AD LDS: users carry their SID in
// orvexKVObjectSid and live in CN=Users under the client base DN.
bool LdsStorageMode();
void SetLdsStorageMode(bool on);

// Client objects that an earlier import marked as migrated may be overwritten ("-fi").
bool ForceImportMode();
void SetForceImportMode(bool on);

}  // namespace KvMigration
