// What the web service needs of the host object while it serves requests: the trusted domains
// of the trust check, the value of the "Server" reply header, and a way to ask for program end.
// The host object implements it and installs itself; tests install their own.
//
// Connection threads read the installed host without a lock. The program installs it before any
// listener exists and removes it only after the last connection thread has ended.
#pragma once

#include <string>

namespace nelvo {

class TDomainList;

class IWebServiceHost {
public:
    virtual ~IWebServiceHost() = default;
    // The trusted-domain list of the settings' Server section.
    virtual TDomainList& TrustedDomains() = 0;
    // "<program name>/<file version>".
    virtual std::string ServerName() const = 0;
    // Asks the program to end; returns at once, the main thread does the rest.
    virtual void RequestProgramEnd() = 0;
};

// The installed host, or null.
IWebServiceHost* WebServiceHost();
void SetWebServiceHost(IWebServiceHost* host);

}  // namespace nelvo
