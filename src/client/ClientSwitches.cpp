#include "client/ClientSwitches.h"

namespace KvMigration {
namespace {

bool g_ldsStorageMode = false;
bool g_forceImportMode = false;

}  // namespace

bool LdsStorageMode() {
    return g_ldsStorageMode;
}

void SetLdsStorageMode(bool on) {
    g_ldsStorageMode = on;
}

bool ForceImportMode() {
    return g_forceImportMode;
}

void SetForceImportMode(bool on) {
    g_forceImportMode = on;
}

}  // namespace KvMigration
