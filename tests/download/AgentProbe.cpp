// A DLL that holds the downloader, as the component's DLL does: with no agent name set, its
// requests must name the DLL, not the program that loaded it.
#include "download/CHttpDownloader.h"

extern "C" __declspec(dllexport) BOOL ProbeDownload(const wchar_t* url) {
    CHttpDownloader downloader;
    downloader.m_strURL = url;
    downloader.m_nAccessType = 1;  // direct: no system proxy settings
    return downloader.Download();
}
