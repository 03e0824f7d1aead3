-- Pandoc filter: turns a program's page in docs/ into its manual page, so
-- that the page and the manual never disagree.
--
--   pandoc -s -t man --lua-filter cmake/manpage.lua -M posix=docs/posix.md \
--          -M footer="console-suite 1.0.0" docs/kesto.md -o kesto.1
--
-- A page is "# prog: summary", an introduction whose first code block is the
-- command line, then "##" sections. They are arranged as a manual page:
--   NAME         prog \- summary
--   SYNOPSIS     the command line
--   DESCRIPTION  the rest of the introduction and the other sections
--   OPTIONS      "Options", "Filters", "The range" and the sections named
--                after options ("Copy, update and move: /C, /U",
--                "Progress (/P)")
--   EXIT STATUS  "Error levels", or the introduction's paragraph that
--                starts with "The exit code"
--   EXAMPLES     "Examples"
--   POSIX NOTES  the page's "POSIX systems" section and the sections of
--                posix.md about every program or about this one
--   SEE ALSO     the other programs

local programs = { 'kesto', 'tolven', 'mirelk', 'nevrik', 'holmic', 'zobrin' }

local stringify = pandoc.utils.stringify

-- The "##" sections of a block list: the blocks before the first one, and
-- a list of { title = text, blocks = { ... } }.
local function split_sections(blocks, first)
  local intro, sections, current = {}, {}, nil
  for i = first, #blocks do
    local block = blocks[i]
    if block.t == 'Header' and block.level == 2 then
      current = { title = stringify(block), blocks = {} }
      table.insert(sections, current)
    elseif current then
      table.insert(current.blocks, block)
    else
      table.insert(intro, block)
    end
  end
  return intro, sections
end

local function append(list, blocks)
  for _, block in ipairs(blocks) do table.insert(list, block) end
end

-- The blocks of a section placed one level down, under a title of its own
-- (or none).
local function nested(section, title)
  local blocks = {}
  if title then table.insert(blocks, pandoc.Header(2, pandoc.Str(title))) end
  for _, block in ipairs(section.blocks) do
    if block.t == 'Header' then block.level = math.min(block.level, 3) end
    table.insert(blocks, block)
  end
  return blocks
end

local function section_kind(title)
  if title == 'Options' or title == 'Filters' or title == 'The range' or title:find(': /', 1, true) or
      title:find('(/', 1, true) then
    return 'options'
  end
  if title == 'Error levels' or title == 'Exit codes' then return 'exit' end
  if title == 'Examples' then return 'examples' end
  if title == 'POSIX systems' then return 'posix' end
  return 'description'
end

-- The sections of posix.md about every program or about this one: a title
-- that names a program in backticks concerns that program alone; the
-- test hook concerns no user.
local function posix_sections(path, program)
  local file = io.open(path, 'r')
  if not file then error('cannot read ' .. path) end
  local text = file:read('a')
  file:close()
  local _, sections = split_sections(pandoc.read(text, 'markdown').blocks, 1)
  local chosen = {}
  for _, section in ipairs(sections) do
    local named = section.title:match('`(%l+)')
    local about_one = false
    for _, other in ipairs(programs) do
      if named == other then about_one = true end
    end
    if not section.title:find('^Test hook') and (not about_one or named == program) then
      table.insert(chosen, section)
    end
  end
  return chosen
end

-- Column widths from the longest text in each column (capped), so that the
-- option column of a table stays narrow and the meaning column wraps.
local function cell_blocks(cell)
  return cell.contents or cell[5]
end
local function row_cells(row)
  return row.cells or row[2]
end
function Table(tbl)
  local longest = {}
  local function measure(rows)
    for _, row in ipairs(rows) do
      for column, cell in ipairs(row_cells(row)) do
        local length = utf8.len(stringify(cell_blocks(cell))) or 0
        longest[column] = math.max(longest[column] or 0, math.min(length, 48) + 3)
      end
    end
  end
  measure(tbl.head.rows)
  for _, body in ipairs(tbl.bodies) do measure(body.body) end
  -- Widths are fractions of the line; the gaps between columns and a
  -- narrow table's room to spare take the rest.
  local total = 0
  for _, length in ipairs(longest) do total = total + length end
  local scale = 0.9 / math.max(total, 66)
  for column, colspec in ipairs(tbl.colspecs) do
    colspec[2] = (longest[column] or 1) * scale
  end
  return tbl
end

-- A link to another page of docs/ keeps only its text; the pages are
-- installed beside each other as documentation.
function Link(link)
  if link.target:match('%.md$') or link.target:match('%.md#') then return link.content end
  return link
end

function Pandoc(doc)
  local heading = doc.blocks[1]
  assert(heading and heading.t == 'Header' and heading.level == 1, 'a page starts with "# prog: summary"')
  local program, summary = stringify(heading):match('^(%S+):%s*(.+)$')
  assert(program, 'a page starts with "# prog: summary"')

  local intro, sections = split_sections(doc.blocks, 2)
  local synopsis, description, options, exit, examples, posix = nil, {}, {}, {}, {}, {}
  for _, block in ipairs(intro) do
    if not synopsis and block.t == 'CodeBlock' then
      synopsis = block
    elseif block.t == 'Para' and stringify(block):find('^The exit code') then
      table.insert(exit, block)
    else
      table.insert(description, block)
    end
  end
  for _, section in ipairs(sections) do
    local kind = section_kind(section.title)
    if kind == 'options' then
      append(options, nested(section, section.title ~= 'Options' and section.title or nil))
    elseif kind == 'exit' then
      append(exit, nested(section))
    elseif kind == 'examples' then
      append(examples, nested(section))
    elseif kind == 'posix' then
      append(posix, nested(section))
    else
      append(description, nested(section, section.title))
    end
  end
  local posix_path = doc.meta.posix and stringify(doc.meta.posix)
  if posix_path then
    for _, section in ipairs(posix_sections(posix_path, program)) do
      append(posix, nested(section, section.title))
    end
  end
  local see_also = {}
  for _, other in ipairs(programs) do
    if other ~= program then
      table.insert(see_also, pandoc.Strong(pandoc.Str(other)))
      table.insert(see_also, pandoc.Str('(1), '))
    end
  end
  table.insert(see_also, pandoc.Str('and posix.md among the documentation.'))

  local blocks = {}
  local function add(title, content)
    if #content == 0 then return end
    table.insert(blocks, pandoc.Header(1, pandoc.Str(title)))
    append(blocks, content)
  end
  add('NAME', { pandoc.RawBlock('man', program .. ' \\- ' .. summary) })
  add('SYNOPSIS', { synopsis })
  add('DESCRIPTION', description)
  add('OPTIONS', options)
  add('EXIT STATUS', exit)
  add('EXAMPLES', examples)
  add('POSIX NOTES', posix)
  add('SEE ALSO', { pandoc.Para(see_also) })

  doc.meta.title = pandoc.MetaString(program:upper())
  doc.meta.section = pandoc.MetaString('1')
  doc.meta.header = doc.meta.header or pandoc.MetaString('User Commands')
  return pandoc.Pandoc(blocks, doc.meta)
end

return {
  { Table = Table, Link = Link },
  { Pandoc = Pandoc },
}
