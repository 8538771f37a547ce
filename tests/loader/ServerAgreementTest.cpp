// The server check against the hosts that will really be contacted: for every server text the
// check accepts, the downloader's own URL split of the manifest URL and the platform's URL
// cracker on the raw text (what the loader program gets) must name a host of an allowed domain.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "config/DeploymentValues.h"
#include "download/CHttpDownloader.h"
#include "download/ServerHostRule.h"

namespace {

using ServerHostRule::HostInDomain;
using ServerHostRule::SameServerText;
using ServerHostRule::ServerHost;

const std::wstring kDomain1 = DeploymentValues::kAllowedDomain1;
const std::wstring kDomain2 = DeploymentValues::kAllowedDomain2;
// The update URL is the server text followed by "Patch"; the manifest lies below it.
constexpr wchar_t kManifestTail[] = L"Patch/RudovuZado.ini.zip";

std::string Printable(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

bool InAllowedDomain(const std::wstring& host) {
    return HostInDomain(host, kDomain1) || HostInDomain(host, kDomain2);
}

// The downloader's URL split, reached through its own code.
class DownloaderSplit : public CHttpDownloader {
public:
    // The server the downloader would connect to; empty when the URL does not split.
    std::wstring HostOf(const std::wstring& url) {
        m_strURL = url;
        m_strServer.clear();
        return SplitURL() ? m_strServer : std::wstring();
    }
};

// The platform's URL cracker on the text as it stands; empty when it finds no host.
std::wstring CrackedHost(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.lpszHostName == nullptr) return L"";
    return std::wstring(parts.lpszHostName, parts.dwHostNameLength);
}

class ServerAgreementTest : public ::testing::Test {
protected:
    // For an accepted text: the downloader contacts exactly the host the rule judged, and so
    // does the platform's cracker on the raw text. Returns whether the text was accepted.
    bool ExpectAgreement(const std::wstring& server) {
        const std::wstring judged(ServerHost(server));
        if (judged.empty() || !InAllowedDomain(judged)) return false;
        const std::wstring contacted = m_split.HostOf(server + kManifestTail);
        EXPECT_TRUE(SameServerText(contacted, judged) && InAllowedDomain(contacted))
            << Printable(server) << ": the downloader contacts [" << Printable(contacted) << "]";
        // Without a scheme the cracker finds no host; the downloader puts "http://" in front.
        const std::wstring cracked = CrackedHost(server);
        const bool schemeGiven = SameServerText(server.substr(0, 7), L"http://") ||
                                 SameServerText(server.substr(0, 8), L"https://");
        EXPECT_TRUE(schemeGiven ? SameServerText(cracked, judged) && InAllowedDomain(cracked)
                                : cracked.empty())
            << Printable(server) << ": the URL cracker finds [" << Printable(cracked) << "]";
        return true;
    }

    DownloaderSplit m_split;
};

enum class Verdict { kRefused, kAccepted };

struct ServerCase {
    std::wstring server;
    Verdict verdict;
};

TEST_F(ServerAgreementTest, TrickyServerTexts) {
    const std::wstring d = kDomain1;
    const std::wstring d2 = kDomain2;
    std::wstring upper = d2;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    const Verdict upperVerdict = upper == d2 ? Verdict::kAccepted : Verdict::kRefused;
    const ServerCase cases[] = {
        // Still served.
        {L"http://sub." + d + L":8080/CvUpdate/Pelko", Verdict::kAccepted},
        {L"https://" + d + L"/CvUpdate/Pelko", Verdict::kAccepted},
        {L"HTTP://" + d + L"/CvUpdate/Pelko", Verdict::kAccepted},
        {L"hTTpS://" + d2 + L":443/CvUpdate/Pelko", Verdict::kAccepted},
        {d + L":8080/CvUpdate/Pelko", Verdict::kAccepted},
        {L"http://" + d + L"/", Verdict::kAccepted},
        {L"http://" + d + L"/CvUpdate/Pelko?u=@evil.test", Verdict::kAccepted},
        {L"http://" + d + L"/CvUpdate/Pelko#@evil.test", Verdict::kAccepted},
        {L"http://" + d + L"/x\\@evil.test/", Verdict::kAccepted},
        {L"http://" + d + L"/%2F@evil.test/", Verdict::kAccepted},
        {L"http://" + d + L"/\uFF20evil.test/", Verdict::kAccepted},
        {L"http://" + upper + L"/CvUpdate/Pelko", upperVerdict},
        // Other schemes: the downloader puts "http://" in front of the whole text.
        {L"127.0.0.2://" + d + L":8080/CvUpdate/Pelko", Verdict::kRefused},
        {L"evil.test://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"ftp://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"file://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http:" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http:/" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"//" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://http://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"?://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"#://" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://evil.test?://" + d + L"/", Verdict::kRefused},
        {L"http://evil.test#://" + d + L"/", Verdict::kRefused},
        {d + L"?://evil.test/", Verdict::kRefused},
        // User info and backslashes.
        {L"http://" + d + L"\\@evil.test/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L"@evil.test/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://evil.test@" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://user:pw@" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://a@b@" + d + L"/", Verdict::kRefused},
        {L"http://evil.test\\." + d + L"/", Verdict::kRefused},
        {L"http:\\\\" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http:/\\" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L"\\CvUpdate\\Pelko", Verdict::kRefused},
        {L"\\\\" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        // Percent-encoding, ports, brackets, dots.
        {L"http://%31%32%37.0.0.1/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L"%2F@evil.test/", Verdict::kRefused},
        {L"http://evil.test%2F." + d + L"/", Verdict::kRefused},
        {L"http://" + d + L":80:8080/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L":8080:/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L":/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L":65536/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L":80a/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://[::1]/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://[" + d + L"]/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://" + d + L"./CvUpdate/Pelko", Verdict::kRefused},
        {L"http://." + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://a.." + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://evil" + d + L"/", Verdict::kRefused},
        {L"http://" + d + L".evil.test/", Verdict::kRefused},
        // No path: "Patch" would be appended to the host.
        {L"http://" + d, Verdict::kRefused},
        {L"http://" + d + L":8080", Verdict::kRefused},
        {L"http://" + d + L"?x", Verdict::kRefused},
        // Full-width look-alikes.
        {L"http\uFF1A//" + d + L"/CvUpdate/Pelko", Verdict::kRefused},
        {L"http://evil.test\uFF0F." + d + L"/", Verdict::kRefused},
        {L"http://evil.test\uFF20" + d + L"/", Verdict::kRefused},
        {L"http://" + d + L"\uFF0Eevil.test/", Verdict::kRefused},
        // White space and control characters anywhere.
        {L"http://" + d + L"/x\r\n[Injected]\r\nRun=C:\\evil.exe", Verdict::kRefused},
        {L"http://" + d + L"/x\n", Verdict::kRefused},
        {L" http://" + d + L"/", Verdict::kRefused},
        {L"http://" + d + L"/Cv Update/", Verdict::kRefused},
        {L"http://" + d + L"/\t", Verdict::kRefused},
        {L"http://" + d + L"/\u3000", Verdict::kRefused},
        {L"http://" + d + L"/\u00A0", Verdict::kRefused},
        {L"http://" + d + L"/\u2028", Verdict::kRefused},
        {L"http://" + d + L"/\u0085", Verdict::kRefused},
        {L"http://" + d + L"/\u007F", Verdict::kRefused},
        {L"", Verdict::kRefused},
    };
    for (const auto& c : cases) {
        const bool accepted = ExpectAgreement(c.server);
        EXPECT_EQ(accepted, c.verdict == Verdict::kAccepted) << Printable(c.server);
    }
}

// Every tricky piece inserted at, and put in place of, every position of a few served texts.
TEST_F(ServerAgreementTest, SweepOfTrickyCharactersInEveryPosition) {
    const std::wstring bases[] = {
        L"http://" + kDomain1 + L":8080/CvUpdate/Pelko",
        L"https://sub." + kDomain2 + L"/CvUpdate/Pelko",
        kDomain2 + L"/CvUpdate/Pelko",
    };
    const std::wstring pieces[] = {
        L"@",          L"\\",      L"/",          L"%",          L":",          L".",
        L"?",          L"#",       L"[",          L"]",          L" ",          L"\t",
        L"\r",         L"\n",      L"\x01",       L"\x7F",       L"\u0085",     L"\u00A0",
        L"\u2028",     L"\u3000",  L"\uFF20",     L"\uFF0F",     L"\uFF0E",     L"\uFF1A",
        L"\uFEFF",     L"://",     L"//",         L"\\\\",       L"%2F",        L"%40",
        L"%2e",        L"..",      L"@evil.test", L"evil.test@", L"evil.test/", L".evil.test",
        L"evil.test:", L"http://", L":80",        L"-",          L"0",
    };
    size_t texts = 0;
    size_t accepted = 0;
    for (const auto& base : bases) {
        for (const auto& piece : pieces) {
            for (size_t at = 0; at <= base.size(); ++at) {
                std::wstring inserted = base;
                inserted.insert(at, piece);
                accepted += ExpectAgreement(inserted) ? 1 : 0;
                ++texts;
                if (at == base.size()) continue;
                std::wstring replaced = base;
                replaced.replace(at, 1, piece);
                accepted += ExpectAgreement(replaced) ? 1 : 0;
                ++texts;
            }
        }
    }
    // The sweep reaches both sides of the rule.
    EXPECT_GT(accepted, texts / 20) << accepted << " of " << texts;
    EXPECT_LT(accepted, texts / 2) << accepted << " of " << texts;
}

}  // namespace
