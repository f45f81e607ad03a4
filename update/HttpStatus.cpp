// The one mapping of HTTP status codes to the texts the error messages show.
#include "update/HttpStatus.h"

CONST_STRPTR HttpStatusText(LONG code) {
  switch (code) {
  case 100: return "Info: Continue";
  case 101: return "Info: Switching Protocols";
  case 102: return "Info: Processing";
  case 200: return "Successful: OK";
  case 201: return "Successful: Created";
  case 202: return "Successful: Accepted";
  case 203: return "Successful: Non-Authoritative Information";
  case 204: return "Successful: No Content";
  case 205: return "Successful: Reset Content";
  case 206: return "Successful: Partial Content";
  case 207: return "Successful: Multi-Status";
  case 208: return "Successful: Already Reported";
  case 226: return "Successful: IM Used";
  case 300: return "Redirection: Multiple Choices";
  case 301: return "Redirection: Moved Permanently";
  case 302: return "Redirection: Found";
  case 303: return "Redirection: See Other";
  case 304: return "Redirection: Not Modified";
  case 305: return "Redirection: Use Proxy";
  case 306: return "Redirection: (Unused)";
  case 307: return "Redirection: Temporary Redirect";
  case 308: return "Redirection: Permanent Redirect";
  case 400: return "Client Error: Bad Request";
  case 401: return "Client Error: Unauthorized";
  case 402: return "Client Error: Payment Required";
  case 403: return "Client Error: Forbidden";
  case 404: return "Client Error: Not Found";
  case 405: return "Client Error: Method Not Allowed";
  case 406: return "Client Error: Not Acceptable";
  case 407: return "Client Error: Proxy Authentication Required";
  case 408: return "Client Error: Request Timeout";
  case 409: return "Client Error: Conflict";
  case 410: return "Client Error: Gone";
  case 411: return "Client Error: Length Required";
  case 412: return "Client Error: Precondition Failed";
  case 413: return "Client Error: Request Entity Too Large";
  case 414: return "Client Error: Request-URI Too Long";
  case 415: return "Client Error: Unsupported Media Type";
  case 416: return "Client Error: Requested Range Not Satisfiable";
  case 417: return "Client Error: Expectation Failed";
  case 418: return "Client Error: I''m a teapot";
  case 420: return "Client Error: Policy Not Fulfilled";
  case 421: return "Client Error: Misdirected Request";
  case 422: return "Client Error: Unprocessable Entity";
  case 423: return "Client Error: Locked";
  case 424: return "Client Error: Failed Dependency";
  case 425: return "Client Error: Unordered Collection";
  case 426: return "Client Error: Upgrade Required";
  case 428: return "Client Error: Precondition Required";
  case 429: return "Client Error: Too Many Requests";
  case 431: return "Client Error: Request Header Fields Too Large";
  case 444: return "Client Error: No Response";
  case 449: return "Client Error: The request should be retried after doing the appropriate action";
  case 451: return "Client Error: Unavailable For Legal Reasons";
  case 499: return "Client Error: Client Closed Reques";
  case 500: return "Server Error: Internal Server Error";
  case 501: return "Server Error: Not Implemented";
  case 502: return "Server Error: Bad Gateway";
  case 503: return "Server Error: Service Unavailable";
  case 504: return "Server Error: Gateway Timeout";
  case 505: return "Server Error: HTTP Version Not Supported";
  case 506: return "Server Error: Variant Also Negotiates";
  case 507: return "Server Error: Insufficient Storage";
  case 508: return "Server Error: Loop Detected";
  case 509: return "Server Error: Bandwidth Limit Exceeded";
  case 510: return "Server Error: Not Extended";
  case 511: return "Server Error: Network Authentication Required";
  default: return "Unknown Error!";
  }
}
