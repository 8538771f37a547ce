#pragma once

// The interface that PelkoWebLoader.dll hands to host programs.
//
// A host loads the DLL, calls CreatePelkoWebDLLObject and one of the start operations, and
// destroys the object when done. The object has MSVC's layout whatever compiler built either
// side: one pointer to the table of operations at offset 0; slot 0 the scalar deleting
// destructor, void* (this, unsigned flags), freeing the memory when bit 0 of flags is set;
// slots 1-3 the start operations, void (this, const wchar_t*...). On 32-bit x86 every slot is
// __thiscall (this in ECX, the callee pops the arguments); x64 has one calling convention, with
// this as the first argument. The slots and their order are the same in both.
//
// MSVC builds that table from the plain abstract class below. Other compilers give a virtual
// destructor two slots, so for them slot 0 is declared as an ordinary operation taking the
// flags; use DeletePelkoWebDLLObject (or delete, with MSVC) to destroy the object.

#if defined(_MSC_VER) && defined(_M_IX86)
#define PELKOWEB_THISCALL __thiscall
#elif defined(__i386__)
#define PELKOWEB_THISCALL __attribute__((thiscall))
#else
#define PELKOWEB_THISCALL
#endif

#if defined(_MSC_VER)

class IPelkoWebDLL {
public:
    virtual ~IPelkoWebDLL() {}
    virtual void StartPelkoDesk(const wchar_t* server, const wchar_t* encData) = 0;
    virtual void StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                            const wchar_t* enterpriseName) = 0;
    virtual void StartPelkoAgent(const wchar_t* server, const wchar_t* encData) = 0;
};

inline void DeletePelkoWebDLLObject(IPelkoWebDLL* object) { delete object; }

#else

class IPelkoWebDLL {
public:
    // Slot 0 of the table: what MSVC calls the scalar deleting destructor.
    virtual void* PELKOWEB_THISCALL ScalarDeletingDestructor(unsigned int flags) = 0;
    virtual void PELKOWEB_THISCALL StartPelkoDesk(const wchar_t* server,
                                                  const wchar_t* encData) = 0;
    virtual void PELKOWEB_THISCALL StartPelko(const wchar_t* server, const wchar_t* enterpriseId,
                                              const wchar_t* enterpriseName) = 0;
    virtual void PELKOWEB_THISCALL StartPelkoAgent(const wchar_t* server,
                                                   const wchar_t* encData) = 0;

protected:
    // Not virtual: a virtual destructor would take two slots here. Objects are destroyed
    // through slot 0 only.
    ~IPelkoWebDLL() = default;
};

inline void DeletePelkoWebDLLObject(IPelkoWebDLL* object) {
    if (object != nullptr) object->ScalarDeletingDestructor(1);
}

#endif

// How an update ended, as the settings file's UpdateResult names it.
#define PELKOWEB_UPDATE_CURRENT 1     /* "current": the newest release was installed already */
#define PELKOWEB_UPDATE_UPDATED 2     /* "updated" in this start */
#define PELKOWEB_UPDATE_POSTPONED 3   /* "postponed": a later start goes on */
#define PELKOWEB_UPDATE_NOT_OFFERED 4 /* "not-offered": a staged rollout's turn has not come */
#define PELKOWEB_UPDATE_REFUSED 5     /* "refused": the release did not verify */
#define PELKOWEB_UPDATE_FAILED 6      /* "failed": it could not be fetched or installed */

// What the last start operation that returned in this process did.
typedef struct PelkoWebLaunchOutcome {
    int loaderStarted;  // non-zero when the loader program was started
    int updateResult;   // a PELKOWEB_UPDATE_* value; 0 when the start ended before the update
} PelkoWebLaunchOutcome;

extern "C" {
// Exported undecorated. Returns a new object owned by the caller, or null.
IPelkoWebDLL* __cdecl CreatePelkoWebDLLObject(void);
typedef IPelkoWebDLL*(__cdecl* PFN_CreatePelkoWebDLLObject)(void);

// Exported undecorated. Fills outcome with what the last start operation that returned in this
// process did and returns non-zero; returns 0 when none has returned yet.
int __cdecl GetPelkoWebLaunchOutcome(PelkoWebLaunchOutcome* outcome);
typedef int(__cdecl* PFN_GetPelkoWebLaunchOutcome)(PelkoWebLaunchOutcome* outcome);
}
