#pragma once

#include <functional>
#include <string>

#include "update/UpdateOutcome.h"

// Writes the settings and starts the loader, told how the update ended.
using AfterUpdate = std::function<void(const UpdateOutcome&)>;

// Brings the install folder the launch chose up to date from the server's update tree
// (UpdateUrlRule; an empty server stands for the default update server), then calls afterUpdate
// (which writes the settings and starts the loader) as soon as the window has ended, before the
// step waits for the update's threads. The launch calls afterUpdate itself when the step did not,
// even when the step throws: the update then counts as failed.
void RunPatchStep(const std::wstring& server, const std::wstring& installFolder,
                  const AfterUpdate& afterUpdate);

// The patch step as the launch sequence takes it: RunPatchStep, or a stand-in in tests.
using PatchStep = void (*)(const std::wstring& server, const std::wstring& installFolder,
                           const AfterUpdate& afterUpdate);
