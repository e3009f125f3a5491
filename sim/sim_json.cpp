#include "sim_json.h"

#include <charconv>
#include <cstdio>

namespace {

struct cursor {
  std::string_view text;
  std::size_t at = 0;

  bool done() const { return at >= text.size(); }
  char peek() const { return done() ? '\0' : text[at]; }
  void skip_space() {
    while (!done() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
      ++at;
  }
  bool take(char c) {
    skip_space();
    if (peek() != c) return false;
    ++at;
    return true;
  }
};

// Moves past one string (the cursor on its opening quote). False when it never ends.
bool skip_string(cursor& c) {
  ++c.at;
  while (!c.done()) {
    char ch = c.text[c.at++];
    if (ch == '\\') {
      if (c.done()) return false;
      ++c.at;
    } else if (ch == '"') {
      return true;
    }
  }
  return false;
}

// Moves past one value of any kind, nested ones included.
bool skip_value(cursor& c) {
  c.skip_space();
  if (c.done()) return false;
  char first = c.peek();
  if (first == '"') return skip_string(c);
  if (first == '{' || first == '[') {
    int depth = 0;
    while (!c.done()) {
      char ch = c.peek();
      if (ch == '"') {
        if (!skip_string(c)) return false;
        continue;
      }
      ++c.at;
      if (ch == '{' || ch == '[') ++depth;
      if ((ch == '}' || ch == ']') && --depth == 0) return true;
    }
    return false;
  }
  std::size_t start = c.at;
  while (!c.done() && c.peek() != ',' && c.peek() != '}' && c.peek() != ']' && c.peek() != ' ' &&
         c.peek() != '\n' && c.peek() != '\r' && c.peek() != '\t')
    ++c.at;
  return c.at > start;
}

void append_utf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The text of a JSON string literal (with its quotes), escapes resolved.
std::string unescape(std::string_view raw) {
  std::string out;
  if (raw.size() < 2) return out;
  raw = raw.substr(1, raw.size() - 2);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char ch = raw[i];
    if (ch != '\\' || i + 1 >= raw.size()) {
      out += ch;
      continue;
    }
    char esc = raw[++i];
    switch (esc) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u': {
        unsigned code = 0;
        if (i + 4 < raw.size() &&
            std::from_chars(raw.data() + i + 1, raw.data() + i + 5, code, 16).ptr ==
                raw.data() + i + 5) {
          append_utf8(out, code);
          i += 4;
        }
        break;
      }
      default:
        out += esc;
        break;  // \" \\ \/
    }
  }
  return out;
}

bool parse_object(cursor& c, sim_object& out) {
  out.clear();
  if (!c.take('{')) return false;
  if (c.take('}')) return true;
  do {
    c.skip_space();
    if (c.peek() != '"') return false;
    std::size_t key_start = c.at;
    if (!skip_string(c)) return false;
    std::string key = unescape(c.text.substr(key_start, c.at - key_start));
    if (!c.take(':')) return false;
    c.skip_space();
    std::size_t value_start = c.at;
    if (!skip_value(c)) return false;
    sim_json_set(out, key, std::string(c.text.substr(value_start, c.at - value_start)));
  } while (c.take(','));
  return c.take('}');
}

}  // namespace

bool sim_json_parse_object(std::string_view text, sim_object& out) {
  cursor c{text};
  if (!parse_object(c, out)) return false;
  c.skip_space();
  return c.done();
}

bool sim_json_parse_objects(std::string_view text, std::vector<sim_object>& out) {
  out.clear();
  cursor c{text};
  if (!c.take('[')) return false;
  if (c.take(']')) return true;
  do {
    sim_object object;
    if (!parse_object(c, object)) return false;
    out.push_back(std::move(object));
  } while (c.take(','));
  return c.take(']');
}

std::string sim_json_quote(std::string_view text) {
  std::string out = "\"";
  for (unsigned char ch : text) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", ch);
      out += esc;
    } else {
      out += static_cast<char>(ch);
    }
  }
  out += '"';
  return out;
}

const sim_member* sim_json_get(const sim_object& object, std::string_view key) {
  for (const sim_member& m : object)
    if (m.key == key) return &m;
  return nullptr;
}

std::string sim_json_text(const sim_object& object, std::string_view key) {
  const sim_member* m = sim_json_get(object, key);
  if (m == nullptr || m->raw.empty() || m->raw[0] != '"') return {};
  return unescape(m->raw);
}

long long sim_json_number(const sim_object& object, std::string_view key) {
  const sim_member* m = sim_json_get(object, key);
  long long value = 0;
  if (m != nullptr) std::from_chars(m->raw.data(), m->raw.data() + m->raw.size(), value);
  return value;
}

void sim_json_set(sim_object& object, std::string_view key, std::string raw) {
  for (sim_member& m : object) {
    if (m.key == key) {
      m.raw = std::move(raw);
      return;
    }
  }
  object.push_back({std::string(key), std::move(raw)});
}

void sim_json_set_text(sim_object& object, std::string_view key, std::string_view text) {
  sim_json_set(object, key, sim_json_quote(text));
}

void sim_json_erase(sim_object& object, std::string_view key) {
  std::erase_if(object, [key](const sim_member& m) { return m.key == key; });
}

std::string sim_json_write(const sim_object& object) {
  std::string out = "{";
  for (const sim_member& m : object) {
    if (out.size() > 1) out += ',';
    out += sim_json_quote(m.key);
    out += ':';
    out += m.raw;
  }
  out += '}';
  return out;
}

std::string sim_json_write(const std::vector<sim_object>& objects) {
  std::string out = "[";
  for (const sim_object& object : objects) {
    out += out.size() > 1 ? ",\n  " : "\n  ";
    out += sim_json_write(object);
  }
  out += objects.empty() ? "]\n" : "\n]\n";
  return out;
}
