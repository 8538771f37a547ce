#pragma once

// The download thread of the update engine: downloads every record of the callback's list
// (param is the IDownloadCallback), one at a time, and ends with exactly one of OnComplete,
// OnStopped or OnError.
unsigned __stdcall DownloadThreadProc(void* param);
