#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/publish/CSigningKey.h"
#include "verify/ReleaseStatement.h"

// Holds, resumes or stops the staged rollout of a published tree: its statement is signed again
// with a higher serial over the very same manifest bytes, and only the rollout's cap changes.
class CRolloutControl {
public:
    enum class Action { Hold, Resume, Stop };

    // "hold", "resume", "stop"; nothing for another word.
    static std::optional<Action> ActionNamed(const std::string& word);
    // The rollout after action at now: hold caps it at the share reached now (never above an
    // earlier cap), resume lifts the cap, stop sets it to 0.
    static ReleaseRollout Changed(const ReleaseRollout& rollout, Action action, int64_t now);

    // Re-signs the tree's statement after checking that key signed it; the new statement.
    // Throws CPublishError when the tree does not verify, has no rollout, or cannot be written;
    // the tree is then as it was.
    static ReleaseStatement Apply(const std::filesystem::path& tree, const CSigningKey& key,
                                  Action action, int64_t now);

    // One line for verify: start, days, cap and the share reached at now.
    static std::string StateText(const std::optional<ReleaseRollout>& rollout, int64_t now);
};
