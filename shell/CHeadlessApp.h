// The main thread's message loop of the service without a desktop: it runs until a close request
// from another process or a quit request (SIGTERM, SIGINT) arrives.
#pragma once

class CHeadlessApp
{
public:
    // Runs the loop on the calling (main) thread, whose message queue must exist. Returns 0.
    static int RunMessageLoop();
};
