#include "tools/publish/CRolloutControl.h"

#include <cstdio>
#include <ctime>

#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPackageWriter.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CReleaseSigner.h"
#include "tools/publish/CTreeVerifier.h"
#include "tools/publish/WallClock.h"
#include "verify/RolloutRule.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kManifestLimit = 16u << 20;

std::string UtcText(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string ShareText(uint32_t share) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u %%", share / 10000, share / 1000 % 10);
    return text;
}

}  // namespace

std::optional<CRolloutControl::Action> CRolloutControl::ActionNamed(const std::string& word) {
    if (word == "hold") return Action::Hold;
    if (word == "resume") return Action::Resume;
    if (word == "stop") return Action::Stop;
    return std::nullopt;
}

ReleaseRollout CRolloutControl::Changed(const ReleaseRollout& rollout, Action action, int64_t now) {
    ReleaseRollout changed = rollout;
    switch (action) {
        case Action::Hold:
            changed.cap = RolloutRule::HoldCap(rollout, now);
            break;
        case Action::Resume:
            changed.cap.reset();
            break;
        case Action::Stop:
            changed.cap = 0;
            break;
    }
    return changed;
}

ReleaseStatement CRolloutControl::Apply(const fs::path& tree, const CSigningKey& key, Action action,
                                        int64_t now) {
    // Only a tree this key signed is signed again: a server's copy cannot make it sign more.
    CTreeVerifier::Verify(tree, {key.Public()});
    const fs::path package = tree / (std::string(CTreeVerifier::manifestName) + ".zip");
    std::string manifest;
    std::optional<ParsedStatement> parsed;
    WallClock stamp;
    {
        CPackageReader reader(package);
        manifest = reader.ReadFirst(kManifestLimit);
        stamp = WallClock::FromDos(reader.First().modDate, reader.First().modTime);
        parsed = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
    }
    if (!parsed || !parsed->statement.rollout)
        throw CPublishError(tree.string() +
                            ": the release has no rollout (publish it with --rollout-days)");
    ReleaseStatement statement = parsed->statement;
    statement.rollout = Changed(*statement.rollout, action, now);
    statement.serial = CReleaseSigner::NextSerial(statement.serial, now);
    const fs::path written = package.string() + ".rollout";
    CPackageWriter::WriteTexts(
        written,
        {{CTreeVerifier::manifestName, manifest},
         {ReleaseStatement::entryName, CReleaseSigner::Signed(key, statement)}},
        stamp);
    std::error_code error;
    fs::rename(written, package, error);
    if (error) {
        fs::remove(written, error);
        throw CPublishError(package.string() + " cannot be replaced");
    }
    return statement;
}

std::string CRolloutControl::StateText(const std::optional<ReleaseRollout>& rollout, int64_t now) {
    if (!rollout) return "no rollout: offered to every install at once";
    return "rollout started " + UtcText(rollout->start) + ", over " +
           std::to_string(rollout->days) + " days, " +
           (rollout->cap ? "held at " + ShareText(*rollout->cap) : std::string("not held")) +
           ", reached " + ShareText(RolloutRule::ShareAt(*rollout, now)) + " now";
}
