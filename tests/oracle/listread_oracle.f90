! Differential-test oracle for the list-directed reader: gfortran's own list-directed READ.
!
! Usage: listread_oracle CASES OUT
! CASES holds test cases, each a header line "schema nlines" followed by nlines lines of input text.
! Each case's text is written to a scratch file, which is then read twice with a list-directed READ
! of the schema's items (the second statement only when the first succeeded). For each statement one
! line is written to OUT: the sign of IOSTAT (0, -1 or 1) and then every item of the schema, integers
! in decimal, reals as the hexadecimal bit patterns of their storage, logicals as T/F, character
! variables between brackets. Every item starts from a fixed sentinel value, so that items left
! unchanged (null values, a slash, an error) show.
program listread_oracle
  implicit none
  integer, parameter :: maxlines = 200, maxlen = 4096
  character(len=maxlen) :: lines(maxlines)
  integer :: lens(maxlines)
  integer :: in, out, sc, ios, schema, nl, k, n
  character(len=1024) :: inname, outname
  character(len=8192) :: buf
  integer :: blen

  call get_command_argument(1, inname)
  call get_command_argument(2, outname)
  open(newunit=in, file=trim(inname), status='old', action='read')
  open(newunit=out, file=trim(outname), status='replace', action='write')
  open(newunit=sc, status='scratch', form='formatted', action='readwrite')
  do
    read(in, *, iostat=ios) schema, nl
    if (ios /= 0) exit
    if (nl > maxlines) stop 'too many lines in a case'
    do k = 1, nl
      lines(k) = ' '
      read(in, '(a)', advance='no', size=n, iostat=ios) lines(k)
      lens(k) = n
    end do
    rewind(sc)
    do k = 1, nl
      write(sc, '(a)') lines(k)(1:lens(k))
    end do
    endfile(sc)
    rewind(sc)
    call run_case(schema)
  end do
  close(sc)
  close(out)

contains

  subroutine run_case(s)
    integer, intent(in) :: s
    integer(4) :: i(9), ios1
    integer(8) :: k8
    real(4) :: r, w(2)
    real(8) :: d(3)
    real(16) :: q
    logical :: l(2)
    character(len=4) :: c4
    character(len=20) :: c20
    integer :: pass

    do pass = 1, 2
      i = -7777
      k8 = -7777
      r = -7777.5
      w = -7777.5
      d = -7777.5d0
      q = -7777.5_16
      l = [.true., .false.]
      c4 = 'ZZZZ'
      c20 = 'ZZZZZZZZZZZZZZZZZZZZ'
      ios1 = 0
      select case (s)
      case (1)
        read(sc, *, iostat=ios1) i(1:3), d(1:2)
      case (2)
        read(sc, *, iostat=ios1) c4, d(1:3)
      case (3)
        read(sc, *, iostat=ios1) k8, r, q, l, c20, i(1)
      case (4)
        read(sc, *, iostat=ios1) d(1:3), i(1:3), w
      case (5)
        read(sc, *, iostat=ios1) c20, c4, l(1), i(1:2), d(1)
      case (6)
        read(sc, *, iostat=ios1) c20
      case (7)
        read(sc, *, iostat=ios1) i(1:9)
      end select
      blen = 0
      if (ios1 == 0) then
        call put('0')
      else if (ios1 < 0) then
        call put('-1')
      else
        call put('1')
      end if
      select case (s)
      case (1)
        call put_i(i(1:3))
        call put_d(d(1:2))
      case (2)
        call put_c(c4)
        call put_d(d(1:3))
      case (3)
        call put_k(k8)
        call put_r(r)
        call put_q(q)
        call put_l(l)
        call put_c(c20)
        call put_i(i(1:1))
      case (4)
        call put_d(d(1:3))
        call put_i(i(1:3))
        call put_r(w(1))
        call put_r(w(2))
      case (5)
        call put_c(c20)
        call put_c(c4)
        call put_l(l(1:1))
        call put_i(i(1:2))
        call put_d(d(1:1))
      case (6)
        call put_c(c20)
      case (7)
        call put_i(i(1:9))
      end select
      write(out, '(a)') buf(1:blen)
      if (ios1 /= 0) exit
    end do
  end subroutine run_case

  subroutine put(t)
    character(len=*), intent(in) :: t
    if (blen > 0) then
      blen = blen + 1
      buf(blen:blen) = ' '
    end if
    buf(blen + 1:blen + len(t)) = t
    blen = blen + len(t)
  end subroutine put

  subroutine put_i(v)
    integer(4), intent(in) :: v(:)
    character(len=24) :: t
    integer :: j
    do j = 1, size(v)
      write(t, '(i0)') v(j)
      call put(trim(t))
    end do
  end subroutine put_i

  subroutine put_k(v)
    integer(8), intent(in) :: v
    character(len=24) :: t
    write(t, '(i0)') v
    call put(trim(t))
  end subroutine put_k

  subroutine put_r(v)
    real(4), intent(in) :: v
    character(len=8) :: t
    write(t, '(z8.8)') transfer(v, 0_4)
    call put(t)
  end subroutine put_r

  subroutine put_d(v)
    real(8), intent(in) :: v(:)
    character(len=16) :: t
    integer :: j
    do j = 1, size(v)
      write(t, '(z16.16)') transfer(v(j), 0_8)
      call put(t)
    end do
  end subroutine put_d

  subroutine put_q(v)
    real(16), intent(in) :: v
    character(len=32) :: t
    write(t, '(z32.32)') transfer(v, 0_16)
    call put(t)
  end subroutine put_q

  subroutine put_l(v)
    logical, intent(in) :: v(:)
    integer :: j
    do j = 1, size(v)
      if (v(j)) then
        call put('T')
      else
        call put('F')
      end if
    end do
  end subroutine put_l

  subroutine put_c(v)
    character(len=*), intent(in) :: v
    call put('[' // v // ']')
  end subroutine put_c

end program listread_oracle
