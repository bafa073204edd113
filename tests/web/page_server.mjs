// Serves a built page's files on 127.0.0.1 at a free port, each with the
// content type a browser insists on for scripts, modules and stylesheets.
import { readFileSync } from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.json': 'application/json',
};

export function servePage(pageDir) {
  return new Promise((resolve) => {
    const server = http.createServer((request, response) => {
      const name = new URL(request.url, 'http://localhost').pathname.replace(/^\/$/, '/index.html');
      const file = path.join(pageDir, path.normalize(name));
      try {
        const body = readFileSync(file);
        response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
        response.end(body);
      } catch {
        response.writeHead(404);
        response.end();
      }
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}
