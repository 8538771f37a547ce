#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "download/DownloadComponentInfo.h"
#include "update/UpdatePlan.h"

// How a planned file is fetched as a delta of its installed file, and staged from it.
namespace DeltaPlan {

// Where the file's chosen delta is downloaded: beside its package's part, named after both
// (UpdateWorkPaths::DeltaPartName). Empty when no delta was chosen.
std::wstring DeltaPart(const PlannedFile& file);

// Under a signed manifest, when the installed target is the base of one of the entry's offers:
// points the file's request at that delta (resumed from its part), keeping the package's
// request for the fallback. False, changing nothing, otherwise.
bool Choose(PlannedFile& file, bool signedManifest, std::wstring_view updateUrl);

// Decodes the received delta into the staged file (checked as CDeltaStage does) and removes
// the delta's part. Nothing on success, else why the package must be fetched instead.
std::optional<std::wstring> Stage(const PlannedFile& file);

// The package's request to fetch in place of the delta, after the one log line that says why;
// the delta's part is removed.
DownloadComponentInfo FallBack(const PlannedFile& file, const std::wstring& why);

// Whether the file was staged from its delta in this run: the staging step then has no
// package to extract.
bool StagedFromDelta(const PlannedFile& file);

}  // namespace DeltaPlan
