"""An OAuth2 authorization server on loopback for the sign-in tests, built on
Authlib's server classes: a login form (anna / "pass word"), the
authorization code with PKCE, refresh tokens, and token introspection
(RFC 7662) for dovecot, which asks as the confidential client "dovecot".

    oauth_server.py <port> <folder>

The test steers it through /test/...: revoke a user's grant, the lifetime of
the next tokens, a token endpoint that hangs or answers garbage. Every grant
used is a line of <folder>/grants ("authorization_code anna mail").
"""
import os
os.environ["AUTHLIB_INSECURE_TRANSPORT"] = "1"  # loopback only
import secrets
import sys
import threading
import time

from authlib.integrations.flask_oauth2 import AuthorizationServer
from authlib.oauth2.rfc6749 import grants
from authlib.oauth2.rfc6750 import BearerTokenGenerator
from authlib.oauth2.rfc7636 import CodeChallenge
from authlib.oauth2.rfc7662 import IntrospectionEndpoint
from flask import Flask, Response, request
from werkzeug.middleware.dispatcher import DispatcherMiddleware

port, folder = int(sys.argv[1]), sys.argv[2]
USERS = {'anna': 'pass word'}
lock = threading.Lock()
codes, tokens = {}, {}  # code -> Code; access or refresh token -> Token
steer = {'expires_in': 3600, 'hang': False, 'garbage': False}


class Client:
    def __init__(self, client_id, secret, methods, grant_types):
        self.client_id, self.secret = client_id, secret
        self.methods, self.grant_types = methods, grant_types

    def get_client_id(self): return self.client_id
    def get_default_redirect_uri(self): return None
    def get_allowed_scope(self, scope): return scope
    # RFC 8252 7.3: any port of the loopback address.
    def check_redirect_uri(self, uri): return uri.startswith('http://127.0.0.1:')
    def check_client_secret(self, secret): return self.secret is not None and secret == self.secret
    def check_endpoint_auth_method(self, method, endpoint): return method in self.methods
    def check_response_type(self, response_type): return response_type == 'code'
    def check_grant_type(self, grant_type): return grant_type in self.grant_types


CLIENTS = {
    'tessaly-test': Client('tessaly-test', None, ['none'], ['authorization_code', 'refresh_token']),
    'dovecot': Client('dovecot', 'dovecot-secret', ['client_secret_basic', 'client_secret_post'], []),
}


class Code:
    def __init__(self, code, client_id, redirect_uri, scope, user, challenge, method):
        self.code, self.client_id, self.redirect_uri = code, client_id, redirect_uri
        self.scope, self.user = scope, user
        self.code_challenge, self.code_challenge_method = challenge, method
        self.auth_time = time.time()

    def get_redirect_uri(self): return self.redirect_uri
    def get_scope(self): return self.scope
    def get_auth_time(self): return self.auth_time


class Token:
    def __init__(self, data, client_id, user):
        self.access_token = data['access_token']
        self.refresh_token = data.get('refresh_token')
        self.scope, self.client_id, self.user = data.get('scope', ''), client_id, user
        self.expires_at = time.time() + data['expires_in']
        self.revoked = False

    def check_client(self, client): return client.client_id == self.client_id
    def get_scope(self): return self.scope
    def get_expires_in(self): return steer['expires_in']  # what a renewal of it is given
    def is_expired(self): return time.time() >= self.expires_at
    def is_revoked(self): return self.revoked


def note(grant, user, scope):
    with open(os.path.join(folder, 'grants'), 'a') as f:
        print(grant, user, scope, file=f)


class CodeGrant(grants.AuthorizationCodeGrant):
    TOKEN_ENDPOINT_AUTH_METHODS = ['none']

    def save_authorization_code(self, code, req):
        with lock:
            codes[code] = Code(code, req.client.client_id, req.redirect_uri, req.scope, req.user,
                               req.data.get('code_challenge'), req.data.get('code_challenge_method'))

    def query_authorization_code(self, code, client):
        c = codes.get(code)
        return c if c and c.client_id == client.client_id else None

    def delete_authorization_code(self, c):
        codes.pop(c.code, None)

    def authenticate_user(self, c):
        note('authorization_code', c.user, c.scope)
        return c.user


class RefreshGrant(grants.RefreshTokenGrant):
    TOKEN_ENDPOINT_AUTH_METHODS = ['none']
    INCLUDE_NEW_REFRESH_TOKEN = True

    def authenticate_refresh_token(self, refresh_token):
        t = tokens.get(refresh_token)
        if t and t.refresh_token == refresh_token and not t.revoked:
            return t
        return None

    def authenticate_user(self, t):
        note('refresh_token', t.user, t.scope)
        return t.user

    def revoke_old_credential(self, t):
        t.revoked = True


class Introspection(IntrospectionEndpoint):
    def query_token(self, token, hint):
        t = tokens.get(token)
        return t if t and t.access_token == token else None

    def check_permission(self, token, client, req):
        return client.client_id == 'dovecot'

    def introspect_token(self, t):
        return {'active': True, 'client_id': t.client_id, 'token_type': 'Bearer', 'username': t.user,
                'scope': t.scope, 'exp': int(t.expires_at)}


def save_token(data, req):
    with lock:
        t = Token(data, req.client.client_id, req.user)
        tokens[t.access_token] = t
        if t.refresh_token:
            tokens[t.refresh_token] = t


app = Flask(__name__)
server = AuthorizationServer(app, query_client=CLIENTS.get, save_token=save_token)
server.register_token_generator('default', BearerTokenGenerator(
    lambda **kw: secrets.token_urlsafe(24), lambda **kw: secrets.token_urlsafe(24),
    lambda client, grant_type: steer['expires_in']))
server.register_grant(CodeGrant, [CodeChallenge(required=True)])
server.register_grant(RefreshGrant)
server.register_endpoint(Introspection)

def dav(storage):
    """Radicale as the token's user; any request without a live token, a
    password included, is refused and noted ("dav - Basic")."""
    import radicale
    import radicale.config
    conf = radicale.config.load()
    conf.update({'storage': {'filesystem_folder': storage}, 'auth': {'type': 'http_x_remote_user'},
                 'rights': {'type': 'owner_only'}}, 'test', privileged=True)
    inner = radicale.Application(conf)
    for name, tag in (('contacts', 'VADDRESSBOOK'), ('calendar', 'VCALENDAR')):
        os.makedirs(os.path.join(storage, 'collection-root', 'anna', name))
        with open(os.path.join(storage, 'collection-root', 'anna', name, '.Radicale.props'), 'w') as f:
            f.write('{"tag": "%s"}' % tag)

    def app(environ, start_response):
        kind, _, given = environ.get('HTTP_AUTHORIZATION', 'none').partition(' ')
        with lock:
            t = tokens.get(given) if kind == 'Bearer' else None
            user = t.user if t and t.access_token == given and not t.is_expired() and not t.revoked else None
        note('dav', user or '-', kind)
        if not user:
            start_response('401 Unauthorized', [('WWW-Authenticate', 'Bearer'), ('Content-Length', '0')])
            return [b'']
        environ['HTTP_X_REMOTE_USER'] = user
        return inner(environ, start_response)
    return app


FORM = '''<html><body><form method="post" action="/authorize?{query}">
<input name="username"><input name="password" type="password"><input type="submit" value="Sign in">
</form></body></html>'''


@app.route('/authorize', methods=['GET', 'POST'])
def authorize():
    if request.method == 'GET':
        try:
            server.get_consent_grant(end_user=None)
        except Exception as e:  # a bad client or redirect: said here, never redirected
            return Response('refused: %s' % e, status=400)
        return FORM.format(query=request.query_string.decode())
    user = request.form.get('username')
    ok = USERS.get(user) == request.form.get('password')
    return server.create_authorization_response(grant_user=user if ok else None)


@app.route('/token', methods=['POST'])
def token():
    if steer['hang']:
        time.sleep(120)
    if steer['garbage']:
        return Response('<html>Service Unavailable</html>', status=200, content_type='text/html')
    return server.create_token_response()


@app.route('/introspect', methods=['POST'])
def introspect():
    return server.create_endpoint_response('introspection')


@app.route('/test/revoke', methods=['POST'])
def revoke():
    with lock:
        for t in tokens.values():
            if t.user != request.form['user']:
                continue
            if request.form.get('what') == 'access':
                t.expires_at = 0  # the access token only: the refresh token still works
            else:
                t.revoked = True
    return 'ok'


@app.route('/test/steer', methods=['POST'])
def steer_it():
    for key in ('expires_in',):
        if key in request.form:
            steer[key] = int(request.form[key])
    for key in ('hang', 'garbage'):
        if key in request.form:
            steer[key] = request.form[key] == '1'
    return 'ok'


app.wsgi_app = DispatcherMiddleware(app.wsgi_app, {'/dav': dav(os.path.join(folder, 'dav'))})
app.run('127.0.0.1', port, threaded=True)
