// The one DLL testreg_dependent imports: where it is found tells the registered DLL's search.
extern "C" __declspec(dllexport) int PelkoTestDependency() { return 1; }
