#pragma once

// Called just before a DLL already in place is registered again. Does nothing in the component;
// a test program that defines its own links that one instead, to act at that moment.
void ReRegistrationReached();
