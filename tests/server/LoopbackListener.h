#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// A listening TCP socket on 127.0.0.1 at a free port, for servers that stand
// in for a real one. Returns the socket; the port goes to `port`.
inline int listenOnLoopback(int backlog, int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}
