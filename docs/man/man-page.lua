-- man-page.lua: turns docs/api.md into the velkano(3) manual page (scripts/make-man-page.sh).
--   * The comment "<!-- man page NAME: velkano - ... -->" gives the NAME section.
--   * The page's title goes; the text before the first "##" section becomes DESCRIPTION, placed
--     after the Synopsis section, so the page reads NAME, SYNOPSIS, DESCRIPTION, then the rest.
--   * "##" sections become .SH (upper case), "###" .SS, deeper ones a bold line.
--   * Pictures go (a table column holding only pictures goes with them); links to other pages
--     of docs/ become their text and the page's path, links within the page their text.

local stringify = pandoc.utils.stringify

local function isPicture(inlines)
  local found = false
  for _, inline in ipairs(inlines) do
    if inline.t == 'Image' then
      found = true
    elseif inline.t ~= 'Space' and inline.t ~= 'SoftBreak' and inline.t ~= 'LineBreak' then
      return false
    end
  end
  return found
end

-- A table cell that is empty or holds pictures only.
local function cellHasNoText(cell)
  for _, block in ipairs(cell.contents) do
    if not ((block.t == 'Plain' or block.t == 'Para') and isPicture(block.content)) then return false end
  end
  return true
end

local function dropColumns(tbl)
  local rows = {}
  for _, body in ipairs(tbl.bodies) do
    for _, row in ipairs(body.body) do table.insert(rows, row) end
  end
  local keep = {}
  for column = 1, #tbl.colspecs do
    keep[column] = false
    for _, row in ipairs(rows) do
      if not cellHasNoText(row.cells[column]) then keep[column] = true end
    end
  end
  local function filterRow(row)
    local cells = pandoc.List()
    for column, cell in ipairs(row.cells) do
      if keep[column] then cells:insert(cell) end
    end
    row.cells = cells
  end
  for _, row in ipairs(tbl.head.rows) do filterRow(row) end
  for _, row in ipairs(rows) do filterRow(row) end
  -- tbl would give every text column the same narrow width: share the line between the
  -- columns that stay by the length of their longest cell (at most 48 characters), none
  -- narrower than its longest word. Pandoc writes a width w as w * 70 characters; the columns
  -- and the gaps between them (3 characters) fit 64, so an 80-column terminal shows them whole.
  local formats, weights, minimums, total = pandoc.List(), {}, {}, 0
  for column, columnFormat in ipairs(tbl.colspecs) do
    if keep[column] then
      local longest, longestWord = 0, 0
      local function measure(row)
        local text = stringify(row.cells[column].contents)
        longest = math.max(longest, #text)
        for word in text:gmatch('%S+') do longestWord = math.max(longestWord, #word) end
      end
      for _, row in ipairs(tbl.head.rows) do measure(row) end
      for _, row in ipairs(rows) do measure(row) end
      formats:insert(columnFormat)
      table.insert(minimums, longestWord + 1)
      table.insert(weights, math.max(longestWord + 1, math.min(48, longest)))
      total = total + weights[#weights]
    end
  end
  local available = 64 - 3 * (#formats - 1)
  local scale = math.min(1, available / total)
  for index, columnFormat in ipairs(formats) do
    formats[index] = {columnFormat[1], math.max(minimums[index], weights[index] * scale) / 70}
  end
  tbl.colspecs = formats
  return tbl
end

local function Link(link)
  local page = link.target:match('^([%w-]+%.md)')
  if page then
    local text = stringify(link.content)
    if text:find(page, 1, true) then return link.content end
    local inlines = pandoc.List(link.content)
    inlines:insert(pandoc.Space())
    inlines:insert(pandoc.Str('(docs/' .. page .. ')'))
    return inlines
  end
  if link.target:match('^#') or link.target:match('^pictures/') then return link.content end
  return link
end

local inlineFilter = {
  Link = Link,
  Image = function() return {} end,
}

local function Header(header)
  if header.level == 2 then
    return pandoc.Header(1, pandoc.Str(stringify(header.content):upper()))
  elseif header.level == 3 then
    return pandoc.Header(2, header.content)
  end
  return pandoc.Para({pandoc.Strong(header.content)})
end

function Pandoc(doc)
  local name
  local preamble, synopsis, rest = pandoc.List(), pandoc.List(), pandoc.List()
  local part = preamble
  for _, block in ipairs(doc.blocks) do
    if block.t == 'RawBlock' then
      name = name or block.text:match('^<!%-%- man page NAME: (.-) %-%->')
    elseif block.t == 'Header' and block.level == 1 then
      -- the page's title: the NAME line says it for the manual page
    elseif block.t == 'Header' and block.level == 2 then
      part = stringify(block.content) == 'Synopsis' and synopsis or rest
      part:insert(Header(block))
    elseif block.t == 'Header' then
      part:insert(Header(block))
    elseif (block.t == 'Para' or block.t == 'Plain') and isPicture(block.content) then
      -- a picture alone in its paragraph
    elseif block.t == 'Table' then
      part:insert(dropColumns(block))
    else
      part:insert(block)
    end
  end
  assert(name, 'docs/api.md lacks its "<!-- man page NAME: ... -->" line')
  assert(#synopsis > 0, 'docs/api.md lacks its "## Synopsis" section')

  -- No hyphenation and a ragged right margin: the text is full of code words and hex numbers.
  -- The NAME line in the form whatis and lintian read: "velkano \- what it does".
  local blocks = pandoc.List({
    pandoc.RawBlock('man', '.nh\n.ad l'),
    pandoc.Header(1, pandoc.Str('NAME')),
    pandoc.RawBlock('man', (name:gsub(' %- ', ' \\- ', 1))),
  })
  blocks:extend(synopsis)
  blocks:insert(pandoc.Header(1, pandoc.Str('DESCRIPTION')))
  blocks:extend(preamble)
  blocks:extend(rest)
  return pandoc.Pandoc(blocks, doc.meta):walk(inlineFilter)
end
