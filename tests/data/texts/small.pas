procedure Run;
begin
  if X then
  begin
    Y := 's';
  end;
  { comment }
END;
block Outer;
  block Inner;
  finish OUTER;
finish inner;
