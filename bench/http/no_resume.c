/* Preloaded into wrk for the HTTPS runs: wrk reconnects with the same SSL object after each
 * closed connection, and SSL_clear keeps the last session, so wrk would resume sessions with
 * any server that allows it. Dropping the session makes every request a full handshake, the
 * same for the host and for nginx, whatever their session settings. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <openssl/ssl.h>

int SSL_clear(SSL *ssl) {
    static int (*real_clear)(SSL *) = NULL;
    if (!real_clear) real_clear = (int (*)(SSL *))dlsym(RTLD_NEXT, "SSL_clear");
    int result = real_clear(ssl);
    SSL_set_session(ssl, NULL);
    return result;
}
